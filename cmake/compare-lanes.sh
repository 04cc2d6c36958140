#!/bin/sh
# The engine must sound the same on every platform we ship: renders the raw
# test program's output with the Windows build (under wine) and the Linux
# build and compares the bytes.
# Usage: compare-lanes.sh WINDOWS_EXE LINUX_PROGRAM WORK_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
native=$2
work=$3
mkdir -p "$work"
if [ ! -x "$native" ]; then
    echo "compare-lanes: the Linux lane's $native is missing; build the linux preset first" >&2
    exit 1
fi
rm -f "$work/windows.raw" "$work/linux.raw"
"$native" "$work/linux.raw"
"$here/wine-run.sh" "$exe" "$(winepath -w "$work/windows.raw" 2>/dev/null || echo "$work/windows.raw")"
if cmp "$work/linux.raw" "$work/windows.raw"; then
    echo "compare-lanes: $(wc -c <"$work/linux.raw") bytes identical"
else
    echo "compare-lanes: the Windows and Linux engines differ" >&2
    exit 1
fi
