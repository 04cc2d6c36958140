#!/bin/sh
# The CLAP plug-in in a real host: Qtractor, on a JACK server with the dummy
# driver, under the X display xvfb-run gave us.
#
# A session written by hand (session.qtr.in) puts the plug-in on a track
# that plays noise. Qtractor must instantiate it and play the noise through
# it (the recorded output has the level the renderer gives the same noise
# with the same settings), save its 32 parameters and our state into the
# session, and, from a session whose state we changed, play and save those
# values again.
#
#   qtractor_state.sh CLAP_FOLDER FAKE_SEQ RENDERER OUT_DIR
#
# Every process started here is ended here, also on failure; every wait is
# bounded.
set -u
clap_folder=$(cd "${1:?CLAP folder}" && pwd) || exit 1
fake_seq=${2:?fake ALSA sequencer library}
renderer=${3:?yawp-wah-render}
out=${4:?output folder}
mkdir -p "$out"
out=$(cd "$out" && pwd)
. "$(dirname "$0")/qtractor_session.sh"
state_tool="python3 $here/session_state.py"
trap stop_all EXIT
trap 'exit 1' INT TERM

# Changed settings for the second session, and where Qtractor lists each
# (the parameter's CLAP id). Static ones: no LFO or envelope, so that the
# level of filtered noise is steady.
changed="position=100 toe_jaw=100 mid_on=1 lfo_waveform=2 heel_sex=20"
ids="position=0 heel_sex=5 mid_on=7 toe_jaw=13 lfo_waveform=19"

rms() {
    sox "$1" -n trim "${2:-0}" stat 2>&1 | awk '/^RMS +amplitude/ { print $3 }'
}

# db A B: the level of A against B, in dB.
db() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", 20 * log(a / b) / log(10) }'
}

# within DB LIMIT: |DB| <= LIMIT.
within() {
    awk -v d="$1" -v l="$2" 'BEGIN { exit !(d <= l && -d <= l) }'
}

# render NAME KEY=VALUE...: the renderer's level for the noise with those
# settings.
render() {
    name=$1
    shift
    sets=""
    for s in "$@"; do sets="$sets --set $s"; done
    # shellcheck disable=SC2086 # one option a word
    "$renderer" $sets "$out/noise.wav" "$out/$name.wav" >/dev/null || { fail "the renderer failed"; exit 1; }
    rms "$out/$name.wav"
}

# play_and_record NAME: a second and a half of the looping clip through the
# plug-in, recorded from the track's bus; the level of the last second. On a
# busy machine Qtractor may not yet roll at the first try and the recording
# is silent: up to three tries. A plug-in that stays silent stays so.
play_and_record() {
    for try in 1 2 3; do
        transport play
        sleep 0.5
        jack_rec -f "$out/$1.wav" -d 2 -b 16 Qtractor:Wah/out_1 >/dev/null 2>&1
        transport stop
        level=$(rms "$out/$1.wav" 1)
        awk -v l="$level" 'BEGIN { exit !(l > 0) }' && break
        echo "try $try: silence, playing again" >&2
        sleep 1
    done
    echo "$level"
}

# value SESSION FACT: the value that session_state.py shows for FACT
# ("state position", "qtractor 0", "name 31", "info format"...).
value() {
    $state_tool show "$1" | awk -v f="$2 " 'index($0, f) == 1 { print substr($0, length(f) + 1); exit }'
}

# same A B: equal to Qtractor's six significant digits.
same() {
    awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= 1e-4 * (1 + (a < 0 ? -a : a))) }'
}

prepare_home
sox -R -n -r 48000 -c 1 -b 16 "$out/noise.wav" synth 1 whitenoise vol 0.3
dry=$(rms "$out/noise.wav")
default_level=$(render default)
# shellcheck disable=SC2086 # one assignment a word
changed_level=$(render changed $changed)
echo "noise: RMS $dry; rendered: $default_level (defaults), $changed_level (changed)"
# The two settings must sound apart for the comparison to mean anything.
within "$(db "$changed_level" "$default_level")" 2 && { fail "the changed settings do not change the level"; exit 1; }

start_jack "$server" "$out/jackd.log" || { fail "the JACK server did not start"; exit 1; }

# 1. A session with no state of ours: the plug-in starts from its defaults.
make_session first
first="$out/first/first.qtr"
start_qtractor "$first" "$out/qtractor-first.log" || exit 1
level=$(play_and_record first)
echo "Qtractor, defaults: RMS $level ($(db "$level" "$default_level") dB against the renderer, $(db "$level" "$dry") dB against the dry noise)"
within "$(db "$level" "$default_level")" 0.5 || fail "the plug-in in Qtractor does not sound like the renderer with the defaults"
within "$(db "$level" "$dry")" 1 && fail "Qtractor's output is the dry noise: the plug-in did not process"
quit_qtractor "$first" || exit 1

params=$($state_tool show "$first" | grep -c '^qtractor ')
[ "$params" -eq 32 ] || fail "Qtractor saved $params parameters, not 32"
[ "$(value "$first" "name 0")" = Position ] || fail "Qtractor lists no Position at id 0"
[ "$(value "$first" "name 31")" = Bypass ] || fail "Qtractor lists no Bypass at id 31"
[ "$(value "$first" "info format")" = clap ] || fail "the session holds no state of ours in CLAP format"
keys=$($state_tool show "$first" | grep -c '^state ')
[ "$keys" -eq 32 ] || fail "our state in the session has $keys parameters, not 32"

# 2. The same session with changed values in our state: Qtractor restores
# the state, plays with it and saves the same values back.
mkdir -p "$out/second"
second="$out/second/second.qtr"
# shellcheck disable=SC2086 # one assignment a word
$state_tool set "$first" "$second" $changed || { fail "the state could not be changed"; exit 1; }
start_qtractor "$second" "$out/qtractor-second.log" || exit 1
level=$(play_and_record second)
echo "Qtractor, restored state: RMS $level ($(db "$level" "$changed_level") dB against the renderer)"
within "$(db "$level" "$changed_level")" 0.5 || fail "the plug-in in Qtractor does not sound like the renderer with the restored values"
quit_qtractor "$second" || exit 1

for assignment in $changed; do
    key=${assignment%%=*}
    want=${assignment#*=}
    id=$(echo "$ids" | tr ' ' '\n' | awk -F= -v k="$key" '$1 == k { print $2 }')
    saved=$(value "$second" "state $key")
    listed=$(value "$second" "qtractor $id")
    same "$saved" "$want" || fail "$key is $saved in the state saved after reloading, not $want"
    same "$listed" "$want" || fail "Qtractor shows $key (id $id) as $listed after reloading, not $want"
done

[ $status -eq 0 ] && echo "Qtractor plays the plug-in, and saves and restores its state and 32 parameters"
exit $status
