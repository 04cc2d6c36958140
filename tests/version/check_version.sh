#!/bin/sh
# The version number is written once, in project() of the top-level
# CMakeLists.txt; everything the Linux lane builds must say the same:
# the renderer, the LV2 description (as LV2 minor and micro versions), the
# state documents and the package's CPack settings. The VST3 factory's
# class information is checked by vst3_tests (Vst3Factory).
#
#   check_version.sh SOURCE_DIR LINUX_BUILD
set -u
source_dir=${1:?source folder}
build=${2:?build folder}
status=0

fail() {
    echo "FAILED: $*"
    status=1
}

version=$(sed -n 's/^project(yawp_wah VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$source_dir/CMakeLists.txt")
echo "project version: $version"
echo "$version" | grep -Eq '^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' || {
    echo "FAILED: no four-number version in project() of $source_dir/CMakeLists.txt"
    exit 1
}
IFS=. read -r major minor revision build_number <<EOF2
$version
EOF2

# The renderer.
said=$("$build/tools/render/yawp-wah-render" --version)
[ "$said" = "yawp-wah-render $version" ] || fail "yawp-wah-render --version says \"$said\""

# LV2: an even minor version for a release, 2 x (100 x minor + revision),
# and the build as the micro version.
ttl="$build/plugins/lv2/yawp-wah.lv2/yawp-wah.ttl"
lv2_minor=$(sed -n 's/^ *lv2:minorVersion \([0-9]*\) ;$/\1/p' "$ttl")
lv2_micro=$(sed -n 's/^ *lv2:microVersion \([0-9]*\) ;$/\1/p' "$ttl")
[ "$lv2_minor" = $((2 * (100 * minor + revision))) ] || fail "lv2:minorVersion is \"$lv2_minor\""
[ "$lv2_micro" = "$build_number" ] || fail "lv2:microVersion is \"$lv2_micro\""

# The numbers every saved state carries.
work=$(mktemp -d)
sox -n -r 48000 -c 1 "$work/in.wav" synth 0.05 sine 440 &&
    "$build/tools/render/yawp-wah-render" --save-state "$work/saved" "$work/in.wav" "$work/out.wav" &&
    "$build/tools/render/yawp-wah-render" --show-state "$work/saved" >"$work/shown" || fail "saving a state"
for entry in "version_major $major" "version_minor $minor" "version_revision $revision" "version_build $build_number"; do
    grep -Eq "^ +${entry% *} +${entry#* }\$" "$work/shown" || fail "the state says $(grep "${entry% *}" "$work/shown")"
done
rm -rf "$work"

# The package.
grep -q "^set(CPACK_PACKAGE_VERSION \"$version\")" "$build/CPackConfig.cmake" || fail "CPACK_PACKAGE_VERSION"

[ $status -eq 0 ] && echo "every part says $version"
exit $status
