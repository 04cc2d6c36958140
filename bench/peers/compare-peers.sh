#!/bin/sh
# Sets Yawp Wah beside four peers of its kind: every plug-in is timed by
# yawp-wah-peer-bench on the same signal, in three rounds in one run, and a
# table gives nanoseconds per sample and how ours compares with guitarix's
# wahs (sweeping against its auto-wah, settled against its manual wah).
# A benchmark, not a test: the figures depend on the machine and its load.
#
#   bench/peers/compare-peers.sh [SECONDS]    seconds of signal (default 20)
#
# Installs the peers (guitarix-lv2, mda-lv2) when they are missing, and
# builds what it needs of the linux lane in build/linux.
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
seconds=${1:-20}
rounds=3

ours=https://tallow.audio/plugins/yawp-wah
guitarix=http://guitarix.sourceforge.net/plugins/gxautowah
mda=http://drobilla.net/plugins/mda

# label|reference|URI and settings. The reference names the row our
# ratio is taken against. In the envelope case the LFO swings half as far
# and the envelope adds little, so the pedal keeps moving instead of
# resting at the toe.
cases="Yawp Wah, settled|guitarix gxautowah#wah|$ours
Yawp Wah, sweeping|guitarix gxautowah#autowah|$ours lfo_on=1 lfo_free_rate=5
Yawp Wah, sweeping + envelope|guitarix gxautowah#autowah|$ours lfo_on=1 lfo_free_rate=5 lfo_amount=50 env_on=1 env_amount=1 env_attack=5
guitarix gxautowah#autowah||$guitarix#autowah
guitarix gxautowah#wah||$guitarix#wah
mda RezFilter||$mda/RezFilter
mda TalkBox||$mda/TalkBox"

sh cmake/setup.sh guitarix-lv2 mda-lv2
cmake --preset linux >/dev/null
cmake --build --preset linux --target yawp-wah-peer-bench yawp_lv2_bundle >/dev/null
bench=$root/build/linux/bench/peers/yawp-wah-peer-bench

# Our freshly built bundle first, then wherever the peers are installed.
default_path="$HOME/.lv2:/usr/lib/x86_64-linux-gnu/lv2:/usr/lib/lv2:/usr/local/lib/lv2"
LV2_PATH="$root/build/linux/plugins/lv2:${LV2_PATH:-$default_path}"
export LV2_PATH

results=$(mktemp)
trap 'rm -f "$results"' EXIT

# Rounds go through every plug-in in turn, so that a slow spell of the
# machine touches all of them alike.
round=1
while [ "$round" -le "$rounds" ]; do
    echo "compare-peers: round $round of $rounds" >&2
    echo "$cases" | while IFS='|' read -r label reference command; do
        # shellcheck disable=SC2086
        out=$("$bench" --seconds "$seconds" $command) || {
            echo "compare-peers: $label did not run" >&2
            exit 1
        }
        ns=${out%% *}
        printf '%s\t%s\t%s\t%s\n' "$label" "$reference" "$round" "$ns" >>"$results"
    done
    round=$((round + 1))
done

echo
echo "ns per sample, ${seconds} s at 48 kHz in blocks of 512, $rounds rounds; ratio per round"
awk -F '\t' -v rounds="$rounds" '
    !($1 in seen) { seen[$1] = 1; order[++rows] = $1; reference[$1] = $2 }
    { ns[$1, $3] = $4 }
    END {
        printf "| plug-in |"
        for (r = 1; r <= rounds; ++r) printf " round %d |", r
        printf " ratio |\n|---|"
        for (r = 1; r <= rounds; ++r) printf "---|"
        printf "---|\n"
        for (i = 1; i <= rows; ++i) {
            row = order[i]
            printf "| %s |", row
            for (r = 1; r <= rounds; ++r) printf " %s |", ns[row, r]
            ref = reference[row]
            if (ref == "") { printf " |\n"; continue }
            ratios = ""
            for (r = 1; r <= rounds; ++r)
                ratios = ratios (r > 1 ? " / " : "") sprintf("%.2f", ns[row, r] / ns[ref, r])
            printf " %s × %s |\n", ratios, ref
        }
    }' "$results"
