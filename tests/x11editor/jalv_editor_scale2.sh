#!/bin/sh
# The LV2 editor in jalv.gtk3 on a desktop scaled by two (GDK_SCALE=2), on
# a JACK server with the dummy driver, under the X display xvfb-run gave
# us (it must be larger than 2100 x 2100). Checked by pixels and by what
# reaches jalv's window:
#   - the editor is 1400 x 1354 and the page reaches its four edges;
#   - a space bar typed into the editor reaches jalv's top-level window as
#     a press and a release that our helper sent (xev shows them as
#     synthetic), and none does while a value's text field has the focus;
#   - jalv's window made larger keeps the page filling the editor.
# Screenshots are kept. Shrinking is not tried: suil's GTK 3 wrapper holds
# the editor at least at the size it asked for, unless the window carries a
# minimum-size hint, and suil's GTK 2 wrapper would take that hint as the
# editor's size.
#
#   jalv_editor_scale2.sh LV2_DIR OUT_DIR
#
# Every process started here is ended here, also on failure; every wait is
# bounded.
set -u
. "$(dirname "$0")/jack_session.sh"
lv2_dir=$(cd "${1:?LV2 folder}" && pwd) || exit 1
out=${2:?output folder}
mkdir -p "$out"
uri=https://tallow.audio/plugins/yawp-wah
server=yawp-jalv2-$$
jack_pid=""
jalv_pid=""
xev_pid=""
helper=""
status=0

fail() {
    echo "FAILED: $*"
    status=1
}

stop() {
    for pid in $xev_pid $jalv_pid $jack_pid; do
        kill "$pid" 2>/dev/null
    done
    sleep 0.5
    for pid in $xev_pid $jalv_pid $jack_pid $helper; do
        kill -9 "$pid" 2>/dev/null
    done
    wait 2>/dev/null
}
trap stop EXIT
trap 'exit 1' INT TERM

# geometry WINDOW: sets W, H (size) and X, Y (position on the screen).
geometry() {
    info=$(xwininfo -id "$1") || return 1
    W=$(echo "$info" | awk '/^  Width:/ { print $2 }')
    H=$(echo "$info" | awk '/^  Height:/ { print $2 }')
    X=$(echo "$info" | awk '/Absolute upper-left X:/ { print $4 }')
    Y=$(echo "$info" | awk '/Absolute upper-left Y:/ { print $4 }')
}

# share WxH+X+Y TEST: the share (0 to 1) of the screen's pixels in the
# rectangle for which the ImageMagick expression TEST holds.
share() {
    xwd -root -silent | convert xwd:- -crop "$1" +repage -fx "$2" -format "%[fx:mean]" info:
}
# The page's dark background, and the light grey of jalv's own window.
dark='max(r,max(g,b)) < 0.3137'
light='min(r,min(g,b)) > 0.8'

# page_fills WIDTH HEIGHT: the UI's window is that size, and a strip two
# pixels wide along each of its edges is the page's, nearly all dark and
# none of it jalv's background.
page_fills() {
    geometry "$ui" || return 1
    [ "$W" -eq "$1" ] && [ "$H" -eq "$2" ] || return 1
    for strip in "${W}x2+$X+$Y" "${W}x2+$X+$((Y + H - 2))" "2x${H}+$X+$Y" "2x${H}+$((X + W - 2))+$Y"; do
        awk -v s="$(share "$strip" "$dark")" 'BEGIN { exit !(s > 0.7) }' || return 1
        awk -v s="$(share "$strip" "$light")" 'BEGIN { exit !(s == 0) }' || return 1
    done
}

expect_filled() {
    wait_for 20 page_fills "$1" "$2" || {
        geometry "$ui"
        fail "the editor is ${W}x${H}, not $1x$2 filled by the page"
    }
    sleep 0.5
    geometry "$top"
    xwd -root -silent | convert xwd:- -crop "${W}x${H}+$X+$Y" +repage "$out/jalv-scale-2-$1x$2.png"
    echo "jalv at GDK_SCALE=2: the editor is $1x$2, in a ${W}x${H} window; screenshot $out/jalv-scale-2-$1x$2.png"
}

# Synthetic space bar events on jalv's window since xev started: press,
# release.
space_events() {
    awk '/^Key(Press|Release) event/ { kind = $1; synthetic = ($6 == "YES,") }
         /keysym 0x20, space/ && synthetic { print kind }' "$out/jalv-scale-2-keys.log"
}
space_reached_jalv() {
    [ "$(space_events | tr '\n' ' ')" = "KeyPress KeyRelease " ]
}

start_jack "$server" "$out/jackd-scale-2.log" || { fail "the JACK server did not start"; exit 1; }

GDK_SCALE=2 LV2_PATH="$lv2_dir" jalv.gtk3 "$uri" >"$out/jalv-scale-2.log" 2>&1 &
jalv_pid=$!
wait_for 20 pgrep -P "$jalv_pid" -x yawp-wah-editor || { fail "jalv started no editor"; cat "$out/jalv-scale-2.log"; exit 1; }
helper=$(pgrep -P "$jalv_pid" -x yawp-wah-editor)

# The helper's plug window (the one it shows); its parent is the UI's
# window, which jalv sizes; jalv's top-level window holds it.
plug_window() {
    for w in $(xdotool search --pid "$helper"); do
        xwininfo -id "$w" | grep -q "Map State: IsViewable" && echo "$w" && return 0
    done
    return 1
}
wait_for 20 plug_window || { fail "the editor shows no window"; exit 1; }
plug=$(plug_window)
ui=$(xwininfo -children -id "$plug" | awk '/Parent window id:/ { print $4 }')
top=$(xwininfo -root -tree | awk '/"Yawp Wah": \("jalv.gtk3"/ { print $1; exit }')
[ -n "$ui" ] && [ -n "$top" ] || { fail "jalv's windows were not found"; exit 1; }

expect_filled 1400 1354
geometry "$ui"
ui_x=$X
ui_y=$Y

# Clicked into (on a label, at 2 x (205, 66) of the page), the editor
# hands the space bar on to jalv's window.
xev -id "$top" -event keyboard >"$out/jalv-scale-2-keys.log" 2>&1 &
xev_pid=$!
sleep 0.5
xdotool mousemove $((ui_x + 410)) $((ui_y + 132)) click 1
sleep 0.5
: >"$out/jalv-scale-2-keys.log"
xdotool key space
wait_for 5 space_reached_jalv || fail "jalv's window did not receive the space bar (got: $(space_events | tr '\n' ' '))"

# A click on the heel jaw's value (2 x (34, 498)) opens its text field,
# which keeps the space bar to itself.
field="170x40+$((ui_x + 20))+$((ui_y + 976))"
xwd -root -silent | convert xwd:- -crop "$field" +repage "$out/jalv-scale-2-value.png"
xdotool mousemove $((ui_x + 68)) $((ui_y + 996)) click 1
field_open() {
    xwd -root -silent | convert xwd:- -crop "$field" +repage png:- |
        compare -metric AE "$out/jalv-scale-2-value.png" - null: 2>&1 | awk '{ exit !($1 > 200) }'
}
wait_for 5 field_open || fail "no text field opened on the value"
sleep 0.3
: >"$out/jalv-scale-2-keys.log"
xdotool key space
sleep 1
[ -z "$(space_events)" ] || fail "a space typed into a value's field reached jalv's window"
rm -f "$out/jalv-scale-2-value.png"
xdotool key Escape mousemove 2399 2199

# The musician makes jalv's window larger: the editor takes the room, and
# the page fills it. GTK at scale 2 sizes in whole pairs of pixels, so the
# page's 700 x 677 at 3 becomes 2100 x 2032.
geometry "$top"
bar=$((H - 1354))
echo "jalv's size hints: $(xprop -id "$top" WM_NORMAL_HINTS | grep minimum | sed 's/^[[:space:]]*//')"
xdotool windowsize "$top" 2100 $((2032 + bar))
expect_filled 2100 2032

# Quitting jalv ends the helper with it.
kill -INT "$jalv_pid"
wait_for 10 sh -c "! kill -0 $jalv_pid" || fail "jalv did not quit"
wait "$jalv_pid" 2>/dev/null
jalv_pid=""
wait_for 2 sh -c "[ ! -d /proc/$helper ]" || fail "the helper outlived jalv"
[ -d "/proc/$helper" ] || helper=""

[ $status -eq 0 ] && echo "jalv at GDK_SCALE=2 shows the editor, hands it the space bar and lets it grow"
exit $status
