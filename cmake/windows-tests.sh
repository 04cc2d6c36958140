#!/bin/sh
# Runs the Windows lane's test suites under wine with one X server and one
# wine server for the whole run (starting either costs over a second).
# Usage: windows-tests.sh [extra ctest arguments]; run inside xvfb-run.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

"$here/wine-run.sh" --init
# A first window in the fresh prefix, before any test needs one.
warmup="$root/build/windows/tests/wine/wine-warmup.exe"
if [ -f "$warmup" ]; then "$here/wine-run.sh" "$warmup" || true; fi
# The servers of the warm-up are not persistent; replace them by one that is.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p
export YAWP_WINESERVER_PERSISTENT=1
# Start wine's own services now: started by the first test instead, they
# would hold ctest's output pipe open and ctest would wait for them forever.
wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
status=0
ctest --preset windows "$@" || status=$?
wineserver -k || true
exit $status
