#!/bin/sh
# The LV2 editor in a real host: jalv.gtk3 on a JACK server with the dummy
# driver, under the X display xvfb-run gave us. jalv must show the page in
# its window (a screenshot is kept), a drag on the pedal must change the
# plug-in's position (jalv prints the control outputs it hears, and the
# modulated position follows the pedal), and quitting jalv must leave no
# helper behind.
#
#   jalv_editor.sh LV2_DIR OUT_DIR
#
# Every process started here is ended here, also on failure; every wait is
# bounded.
set -u
. "$(dirname "$0")/jack_session.sh"
lv2_dir=$(cd "${1:?LV2 folder}" && pwd) || exit 1
out=${2:?output folder}
mkdir -p "$out"
uri=https://tallow.audio/plugins/yawp-wah
server=yawp-jalv-$$
jack_pid=""
jalv_pid=""
helper=""
status=0

fail() {
    echo "FAILED: $*"
    status=1
}

stop() {
    for pid in $jalv_pid $jack_pid; do
        kill "$pid" 2>/dev/null
    done
    sleep 0.5
    for pid in $jalv_pid $jack_pid $helper; do
        kill -9 "$pid" 2>/dev/null
    done
    wait 2>/dev/null
}
trap stop EXIT
trap 'exit 1' INT TERM

# The mean brightness (0 to 1) of a region of the screen.
brightness() {
    xwd -root -silent | convert xwd:- -crop "$1" -colorspace gray -format "%[fx:mean]" info:
}

start_jack "$server" "$out/jackd.log" || { fail "the JACK server did not start"; exit 1; }

LV2_PATH="$lv2_dir" jalv.gtk3 --print-controls "$uri" >"$out/jalv.log" 2>&1 &
jalv_pid=$!
wait_for 20 pgrep -P "$jalv_pid" -x yawp-wah-editor || { fail "jalv started no editor"; cat "$out/jalv.log"; exit 1; }
helper=$(pgrep -P "$jalv_pid" -x yawp-wah-editor)

# The helper's plug window (the one it shows), and the page in it.
plug_window() {
    for w in $(xdotool search --pid "$helper"); do
        xwininfo -id "$w" | grep -q "Map State: IsViewable" && echo "$w" && return 0
    done
    return 1
}
wait_for 20 plug_window || fail "the editor shows no window"
plug=$(plug_window)
eval "$(xdotool getwindowgeometry --shell "$plug")"
echo "the editor's window: ${WIDTH}x${HEIGHT} at $X,$Y"
page_dark() {
    level=$(brightness "${WIDTH}x${HEIGHT}+$X+$Y")
    awk -v l="$level" 'BEGIN { exit !(l < 0.25) }'
}
wait_for 30 page_dark || fail "the page did not appear in jalv's window (brightness $(brightness "${WIDTH}x${HEIGHT}+$X+$Y"))"
sleep 0.5
xwd -root -silent | convert xwd:- -crop "$((X + WIDTH + 10))x$((Y + HEIGHT + 10))+0+0" "$out/jalv-editor.png"
if [ "$WIDTH" -ne 700 ] || [ "$HEIGHT" -ne 677 ]; then fail "the editor is ${WIDTH}x${HEIGHT}, not 700x677"; fi

# A drag up the pedal from its middle moves the plug-in's pedal.
before=$(wc -l <"$out/jalv.log")
xdotool mousemove $((X + 75)) $((Y + 219)) sleep 0.2 mousedown 1 sleep 0.1
for step in 1 2 3 4 5 6 7; do
    xdotool mousemove $((X + 75)) $((Y + 219 - 10 * step)) sleep 0.05
done
xdotool mouseup 1
moved() {
    tail -n +"$((before + 1))" "$out/jalv.log" | grep "^mod_position" | awk '{ if ($3 > 60) found = 1 } END { exit !found }'
}
wait_for 10 moved || {
    fail "the pedal's new position did not reach the plug-in"
    tail -n 20 "$out/jalv.log"
}

# Quitting jalv ends the helper with it.
kill -INT "$jalv_pid"
wait_for 10 sh -c "! kill -0 $jalv_pid" || fail "jalv did not quit"
wait "$jalv_pid" 2>/dev/null
jalv_pid=""
wait_for 2 sh -c "[ ! -d /proc/$helper ]" || fail "the helper outlived jalv"
[ -d "/proc/$helper" ] || helper=""

[ $status -eq 0 ] && echo "jalv shows the editor; screenshot in $out/jalv-editor.png"
exit $status
