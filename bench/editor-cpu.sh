#!/bin/sh
# What the editor costs while it shows the plug-in at work: the LV2 editor in
# jalv.gtk3 on a JACK server with the dummy driver, under Xvfb, and each
# process's share of a core over a window of SECONDS, in three cases:
#
#   idle      defaults, nothing touched (LFO and envelope off)
#   lfo       the LFO on at 2 Hz: the LFO scope, its meter, the pedal's
#             modulation mark and the vowel chart's "now" point all move
#   env+lfo   the envelope on as well, fed by jack_metro's clicks through
#             jalv's input, so every display moves. The clicks are quiet and
#             the envelope's amount half: loud ones hold the envelope at its
#             top and the pedal at the toe, and nothing moves. The line
#             says how many different envelope values jalv reported, so a
#             case in which the envelope did not move shows.
#
#   marks-1   reference: defaults, nothing of the page moves, but a script of
#             the benchmark's own recolours one 2 x 2 pixel mark 20 times a
#             second. What any change costs WebKitGTK, however small: the
#             least that displays moving at the page's pace can cost.
#   marks-11  the same with eleven such marks spread over the page. Above ten
#             changed rectangles in one frame, WebKitGTK repaints the one
#             rectangle around them all instead.
#
# The processes: WebKitWebProcess, WebKitNetworkProcess, yawp-wah-editor
# (the editor, summed as "editor"), and jalv itself apart. Memory is each
# one's resident and proportional set size at the end of the window. Then the
# page alone in headless Chromium (a stand-in for WebView2), with a host
# pushing the four meters at 30 Hz, the LFO on: the CPU of all the browser's
# processes and the renderer's own time per second from DevTools metrics.
#
#   bench/editor-cpu.sh [LV2_DIR] [SECONDS]
#
# LV2_DIR defaults to build/linux/plugins/lv2, SECONDS to 20. CASES picks
# some of "idle lfo env+lfo marks-1 marks-11 chromium" (all by default); PAGE_DIR the page
# Chromium opens (resources/ by default). Not run in CI.
# Starts its own Xvfb when no display is set. Every process started here is
# ended here.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
. "$root/tests/x11editor/jack_session.sh"
lv2_dir=$(cd "${1:-$root/build/linux/plugins/lv2}" && pwd) || exit 1
seconds=${2:-20}

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$lv2_dir" "$seconds"
fi

uri=https://tallow.audio/plugins/yawp-wah
server=yawp-bench-$$
log=$(mktemp -d /tmp/yawp-editor-cpu.XXXXXX)
jack_pid=""
jalv_pid=""
metro_pid=""
tick=$(getconf CLK_TCK)

stop_jalv() {
    for pid in $metro_pid $jalv_pid; do kill "$pid" 2>/dev/null; done
    for pid in $metro_pid $jalv_pid; do
        n=30
        while [ $n -gt 0 ] && kill -0 "$pid" 2>/dev/null; do sleep 0.1; n=$((n - 1)); done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    metro_pid=""
    jalv_pid=""
}
stop() {
    stop_jalv
    [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null && wait "$jack_pid" 2>/dev/null
    rm -rf "$log"
}
trap stop EXIT
trap 'exit 1' INT TERM

# Every descendant of a process, one id a line.
descendants() {
    for child in $(pgrep -P "$1"); do
        echo "$child"
        descendants "$child"
    done
}

# user + system clock ticks of a process, threads included.
ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

# "RSS PSS" in MiB.
memory() {
    awk '/^Rss:/ { r = $2 } /^Pss:/ { p = $2 } END { printf "%.0f %.0f", r / 1024, p / 1024 }' \
        "/proc/$1/smaps_rollup" 2>/dev/null || echo "- -"
}

# Which column a process belongs to, by its command name.
role() {
    case $(cat "/proc/$1/comm" 2>/dev/null) in
    WebKitWebProces*) echo web ;;
    WebKitNetworkPr*) echo network ;;
    yawp-wah-editor) echo helper ;;
    jalv*) echo jalv ;;
    *) echo other ;;
    esac
}

start_jack "$server" "$log/jackd.log" || { echo "the JACK server did not start"; exit 1; }

printf '%-8s %8s %8s %8s %8s %8s %5s   %s\n' case web% network% helper% editor% jalv% env "memory RSS/PSS MiB (web, network, helper)"

# marks_bundle N: a copy of the bundle whose page also recolours N marks of
# 2 x 2 pixels 20 times a second (spread over the page on a grid); prints
# the folder to put in LV2_PATH.
marks_bundle() {
    dir="$log/marks-$1"
    mkdir -p "$dir"
    cp -r "$lv2_dir/yawp-wah.lv2" "$dir/"
    cat >"$dir/yawp-wah.lv2/js/bench-marks.js" <<MARKS
window.addEventListener('load', function () {
  var marks = [], n = $1, stage = document.getElementById('stage'), red = false;
  for (var k = 0; k < n; k++) {
    var mark = document.createElement('div');
    mark.style.cssText = 'position:absolute;width:2px;height:2px;z-index:99;' +
      'left:' + (10 + (k * 263) % 670) + 'px;top:' + (10 + (k * 149) % 640) + 'px';
    stage.append(mark);
    marks.push(mark);
  }
  setInterval(function () {
    red = !red;
    marks.forEach(function (mark) { mark.style.background = red ? '#f00' : '#00f'; });
  }, 50);
});
MARKS
    sed -i 's|<script defer src="js/main.js"></script>|&<script defer src="js/bench-marks.js"></script>|' \
        "$dir/yawp-wah.lv2/index.html"
    echo "$dir"
}

# run CASE JALV-OPTIONS...: one case, one line of the table. BUNDLES, when
# set, is the LV2_PATH to use instead of LV2_DIR.
run() {
    name=$1
    shift
    LV2_PATH="${BUNDLES:-$lv2_dir}" jalv.gtk3 --print-controls --jack-name yawp-bench "$@" "$uri" >"$log/jalv-$name.log" 2>&1 &
    jalv_pid=$!
    wait_for 20 pgrep -P "$jalv_pid" -x yawp-wah-editor || { echo "$name: jalv started no editor"; stop_jalv; return 1; }
    helper=$(pgrep -P "$jalv_pid" -x yawp-wah-editor)
    wait_for 20 sh -c "pgrep -f WebKitWebProcess | grep -q ." || { echo "$name: no web process"; stop_jalv; return 1; }
    if [ "$name" = env+lfo ]; then
        jack_metro -n yawp-metro -b 150 -f 220 -D 80 -A 0.05 >"$log/metro.log" 2>&1 &
        metro_pid=$!
        wait_for 10 sh -c "jack_lsp | grep -q '^yawp-metro:'"
        jack_connect "$(jack_lsp | grep '^yawp-metro:' | head -n 1)" "$(jack_lsp | grep '^yawp-bench:' | grep -i in | head -n 1)" \
            || echo "$name: the metronome is not connected to jalv's input"
    fi
    # Let the page load and settle first.
    sleep 5
    pids="$jalv_pid $(descendants "$jalv_pid")"
    for pid in $pids; do echo "$pid $(ticks "$pid")"; done >"$log/start"
    lines=$(wc -l <"$log/jalv-$name.log")
    sleep "$seconds"
    for pid in $pids; do echo "$pid $(ticks "$pid")"; done >"$log/end"
    # The envelope values jalv printed during the window.
    env=$(tail -n +"$((lines + 1))" "$log/jalv-$name.log" | awk '$1 == "env_output" { print $3 }' | sort -u | wc -l)
    web=0 network=0 helper_t=0 jalv_t=0 mem=""
    while read -r pid t0; do
        t1=$(awk -v p="$pid" '$1 == p { print $2 }' "$log/end")
        used=$(( ${t1:-$t0} - t0 ))
        case $(role "$pid") in
        web) web=$((web + used)); mem="$mem web $(memory "$pid")," ;;
        network) network=$((network + used)); mem="$mem net $(memory "$pid")," ;;
        helper) helper_t=$((helper_t + used)); mem="$mem helper $(memory "$pid")," ;;
        jalv) jalv_t=$((jalv_t + used)) ;;
        esac
    done <"$log/start"
    awk -v n="$name" -v w="$web" -v k="$network" -v h="$helper_t" -v j="$jalv_t" -v s="$seconds" -v hz="$tick" -v m="$mem" -v e="$env" \
        'function pc(x) { return 100 * x / hz / s } BEGIN { printf "%-8s %8.1f %8.1f %8.1f %8.1f %8.1f %5d   %s\n", n, pc(w), pc(k), pc(h), pc(w + k + h), pc(j), e, m }'
    stop_jalv
    sleep 1
}

cases=${CASES:-idle lfo env+lfo marks-1 marks-11 chromium}
for c in $cases; do
    case $c in
    idle) run idle -c lfo_on=0 -c env_on=0 ;;
    marks-*) BUNDLES=$(marks_bundle "${c#marks-}") run "$c" -c lfo_on=0 -c env_on=0 ;;
    lfo) run lfo -c lfo_on=1 -c lfo_free_rate=2 -c env_on=0 ;;
    env+lfo) run env+lfo -c lfo_on=1 -c lfo_free_rate=2 -c env_on=1 -c env_amount=50 ;;
    chromium) node "$here/editor-cpu-chromium.mjs" "$seconds" "${PAGE_DIR:-$root/resources}" ;;
    esac
done
