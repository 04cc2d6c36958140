#!/bin/sh
# Runs one Windows program under wine: the ctest emulator of the Windows lane.
#
# It uses a wine prefix of its own (inside the build tree unless WINEPREFIX
# is set) and initialises it fully before the first program runs. The first
# program started in a brand-new prefix can fail to create windows, so the
# prefix is warmed up with a throw-away program first. Concurrent callers
# wait on a lock while one of them does this.
#
#   wine-run.sh --init        only prepare the prefix
#   wine-run.sh PROGRAM ARGS  run PROGRAM (a .exe) with ARGS
set -eu

here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/wineprefix}"
: "${WINEDEBUG:=-all}"
# No Mono or Gecko installer dialogs: our programs need neither.
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH=win64

prepare_prefix() {
    mkdir -p "$WINEPREFIX"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/.yawp-ready" ]; then
        wine wineboot --init >/dev/null 2>&1 || true
        # Wait for wineboot's own processes unless a persistent server
        # is already running for the session.
        if [ -z "${YAWP_WINESERVER_PERSISTENT:-}" ]; then wineserver -w || true; fi
        wine cmd /c exit 0 >/dev/null 2>&1 || true
        wine cmd /c exit 0 >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.yawp-ready"
    fi
    # Xvfb runs no window manager, and wine waits up to two seconds for one
    # whenever a managed window is hidden, reparented or destroyed. Windows
    # that wine manages itself skip the wait; tests see no other difference.
    if [ ! -f "$WINEPREFIX/.yawp-unmanaged" ]; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.yawp-unmanaged"
    fi
    flock -u 9
}

prepare_prefix
if [ "${1:-}" = "--init" ]; then exit 0; fi
exec wine "$@"
