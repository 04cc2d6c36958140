#!/bin/sh
# The CLAP plug-in's editor in Qtractor, on a JACK server with the dummy
# driver, under the X display xvfb-run gave us.
#
# Qtractor's scan must list the plug-in with an editor ("GUI"). A
# double-click on the plug-in in the track's list must open the editor in
# a Qtractor window, showing the page at its size (a screenshot is kept). A
# drag on the pedal in a session opened again must reach Qtractor and the
# plug-in's saved state: first with the transport stopped (as a user edits
# before playing), then after playing. Quitting Qtractor must leave no
# helper behind.
#
#   qtractor_editor.sh CLAP_FOLDER FAKE_SEQ OUT_DIR
#
# Every process started here is ended here, also on failure; every wait is
# bounded.
set -u
clap_folder=$(cd "${1:?CLAP folder}" && pwd) || exit 1
fake_seq=${2:?fake ALSA sequencer library}
out=${3:?output folder}
mkdir -p "$out"
out=$(cd "$out" && pwd)
. "$(dirname "$0")/qtractor_session.sh"
state_tool="python3 $here/session_state.py"
scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
helper=""
stop_editor_test() {
    stop_all
    [ -n "$helper" ] && kill -9 "$helper" 2>/dev/null
}
trap stop_editor_test EXIT
trap 'exit 1' INT TERM

# Where a double-click opens the plug-in's editor: the first entry of the
# track's plug-in list, from the main window's corner (Qtractor's default
# layout at 1024x768, no window manager).
plugin_entry_x=180
plugin_entry_y=179

value() {
    $state_tool show "$1" | awk -v f="$2 " 'index($0, f) == 1 { print substr($0, length(f) + 1); exit }'
}

brightness() {
    xwd -root -silent | convert xwd:- -crop "$1" -colorspace gray -format "%[fx:mean]" info:
}

# 1. Qtractor decides once, from a probe instance, whether the plug-in has
# an editor; its scanner says what it decided.
[ -x "$scanner" ] || scanner=$(find /usr/lib -name qtractor_plugin_scan -type f 2>/dev/null | head -n 1)
scan=$(echo "CLAP:$clap_folder/Yawp Wah.clap" | "$scanner" 2>/dev/null)
echo "Qtractor's scan: $scan"
flags=$(echo "$scan" | cut -d'|' -f6)
case ",$flags," in
*,GUI,*) ;;
*)
    fail "Qtractor's scan lists no editor (flags '$flags'): clap.gui's is_api_supported(\"x11\", false) said no to its probe instance, whose host has no timer or fd support"
    exit 1
    ;;
esac

prepare_home
sox -R -n -r 48000 -c 1 -b 16 "$out/noise.wav" synth 1 whitenoise vol 0.3
start_jack "$server" "$out/jackd.log" || { fail "the JACK server did not start"; exit 1; }
make_session editor
session="$out/editor/editor.qtr"
# Saved once, the session holds our state: the editor below works on a
# restored plug-in, as it does in any project opened again.
start_qtractor "$session" "$out/qtractor-first.log" || exit 1
quit_qtractor "$session" || exit 1
[ "$(value "$session" "info format")" = clap ] || { fail "the session holds no state of ours"; exit 1; }
start_qtractor "$session" "$out/qtractor.log" || exit 1

# 2. The editor, opened as a user does.
main_window() {
    xdotool search --pid "$qtractor_pid" --name "editor.qtr" | head -n 1
}
wait_for 10 main_window || { fail "Qtractor shows no main window"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
sleep 1
xdotool mousemove $((X + plugin_entry_x)) $((Y + plugin_entry_y)) click --repeat 2 --delay 80 1
wait_for 20 pgrep -P "$qtractor_pid" -x yawp-wah-editor || {
    fail "a double-click on the plug-in started no editor"
    xwd -root -silent | convert xwd:- "$out/qtractor-no-editor.png"
    exit 1
}
helper=$(pgrep -P "$qtractor_pid" -x yawp-wah-editor)

plug_window() {
    for w in $(xdotool search --pid "$helper"); do
        xwininfo -id "$w" | grep -q "Map State: IsViewable" && echo "$w" && return 0
    done
    return 1
}
wait_for 20 plug_window || { fail "the editor shows no window"; exit 1; }
plug=$(plug_window)
eval "$(xdotool getwindowgeometry --shell "$plug")"
echo "the editor's window: ${WIDTH}x${HEIGHT} at $X,$Y"
page_dark() {
    level=$(brightness "${WIDTH}x${HEIGHT}+$X+$Y")
    awk -v l="$level" 'BEGIN { exit !(l < 0.25) }'
}
wait_for 30 page_dark || fail "the page did not appear in Qtractor's window (brightness $(brightness "${WIDTH}x${HEIGHT}+$X+$Y"))"
sleep 0.5
xwd -root -silent | convert xwd:- -crop "$((X + WIDTH + 10))x$((Y + HEIGHT + 10))+0+0" "$out/qtractor-editor.png"
if [ "$WIDTH" -ne 700 ] || [ "$HEIGHT" -ne 677 ]; then fail "the editor is ${WIDTH}x${HEIGHT}, not 700x677"; fi

# 3. A drag up the pedal from its middle, with the transport stopped.
xdotool mousemove $((X + 75)) $((Y + 219)) sleep 0.2 mousedown 1 sleep 0.1
for step in 1 2 3 4 5 6 7; do
    xdotool mousemove $((X + 75)) $((Y + 219 - 10 * step)) sleep 0.05
done
xdotool mouseup 1
sleep 1
save_session "$session" || exit 1
listed=$(value "$session" "qtractor 0")
saved=$(value "$session" "state position")
echo "after the drag, stopped: Qtractor shows Position $listed, the state holds $saved"
awk -v p="$listed" 'BEGIN { exit !(p > 60) }' || fail "Qtractor does not show the pedal's new position ($listed)"
awk -v p="$saved" 'BEGIN { exit !(p > 60) }' || fail "an edit made with the transport stopped is not in the state Qtractor saves (position $saved)"

# The same once Qtractor has played.
transport play
sleep 1
transport stop
save_session "$session" || exit 1
saved=$(value "$session" "state position")
echo "after playing: the state holds $saved"
awk -v p="$saved" 'BEGIN { exit !(p > 60) }' || fail "the pedal's new position is not in the saved state after playing ($saved)"

# 4. Quitting Qtractor ends the helper with it.
quit_qtractor "$session" || exit 1
wait_for 2 sh -c "[ ! -d /proc/$helper ]" || fail "the helper outlived Qtractor"
[ -d "/proc/$helper" ] || helper=""

[ $status -eq 0 ] && echo "Qtractor shows the editor; screenshot in $out/qtractor-editor.png"
exit $status
