#!/bin/sh
# Packages both lanes' bundles into a scratch folder with cmake/package.sh
# and checks the result. Exits 77 (skipped) while the Linux lane is not
# built, since the release folder needs both.
#
#   package_and_check.sh OUT LINUX_BUILD WINDOWS_BUILD
set -u
here=$(cd "$(dirname "$0")" && pwd)
out=$1
linux_build=$2
windows_build=$3
if [ ! -d "$linux_build/plugins" ] || [ ! -x "$linux_build/tests/lv2host/lv2_lilv_host" ]; then
    echo "SKIPPED: the Linux lane is not built in $linux_build"
    exit 77
fi
rm -rf "$out"
sh "$here/../../cmake/package.sh" "$out" "$linux_build" "$windows_build" || exit 1
sh "$here/check_dist.sh" "$out" "$linux_build"
