#!/bin/sh
# The plug-in in lilv's command-line hosts, found through LV2_PATH.
#
#   host_tools.sh apply WORK_DIR   process a WAV file with lv2apply
#   host_tools.sh bench            time it with lv2bench
set -u
uri=https://tallow.audio/plugins/yawp-wah
: "${LV2_PATH:?LV2_PATH must name the folder that holds the bundle}"

fail() {
    echo "FAILED: $*"
    exit 1
}

# Largest absolute sample difference of two WAV files, on a 0-to-1 scale.
largest_difference() {
    sox -m -v 1 "$1" -v -1 "$2" -n stat 2>&1 |
        awk '/^Maximum amplitude/ { hi = $3 } /^Minimum amplitude/ { lo = -$3 } END { print (hi > lo ? hi : lo) }'
}

# True when $1 <= $2, both decimal numbers.
at_most() {
    awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'
}

# apply NAME [-c SYMBOL VALUE]...: in.wav through the plug-in into NAME.wav.
apply() {
    name=$1
    shift
    lv2apply -i "$work/in.wav" -o "$work/$name.wav" "$@" "$uri" || fail "lv2apply $*"
}

run_apply() {
    work=$1
    rm -rf "$work" && mkdir -p "$work" || exit 1
    # Two seconds of a rising tone, 16-bit like most files a user brings.
    sox -n -r 48000 -b 16 -c 1 "$work/in.wav" synth 2 sine 100-3000 gain -6 || fail "sox"

    # One step of a 16-bit file is 1/32768, which sox prints as 0.000031.
    lsb=0.000031
    apply dry -c mix 0
    d=$(largest_difference "$work/in.wav" "$work/dry.wav")
    echo "mix 0: largest difference $d"
    at_most "$d" "$lsb" || fail "mix 0 changed the signal by $d"

    apply bypassed -c enabled 0
    d=$(largest_difference "$work/in.wav" "$work/bypassed.wav")
    echo "enabled 0: largest difference $d"
    at_most "$d" "$lsb" || fail "the bypassed plug-in changed the signal by $d"

    apply wet
    d=$(largest_difference "$work/in.wav" "$work/wet.wav")
    echo "defaults: largest difference from the input $d"
    at_most "$d" 0.01 && fail "the wah did not change the signal"

    apply lfo -c lfo_on 1
    d=$(largest_difference "$work/wet.wav" "$work/lfo.wav")
    echo "lfo_on 1: largest difference from the defaults $d"
    at_most "$d" 0.01 && fail "switching the LFO on changed nothing"
    rm -rf "$work"
}

run_bench() {
    output=$(lv2bench "$uri") || fail "lv2bench exited with $?"
    echo "$output"
    echo "$output" | grep -q "$uri" || fail "lv2bench did not run the plug-in"
}

case ${1:-} in
    apply) run_apply "${2:?work folder}" ;;
    bench) run_bench ;;
    *) fail "usage: host_tools.sh apply WORK_DIR | bench" ;;
esac
