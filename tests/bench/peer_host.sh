#!/bin/sh
# yawp-wah-peer-bench on the built plug-in: it prints one figure in the form
# the comparison script reads, control values given by symbol reach the
# plug-in, its control outputs are read back, and bad command lines fail
# with a message instead of timing something else.
#
#   peer_host.sh HOST LV2_DIR
set -u
host=${1:?the yawp-wah-peer-bench program}
LV2_PATH="${2:?the folder that holds the built bundle}:/usr/lib/x86_64-linux-gnu/lv2:/usr/lib/lv2"
export LV2_PATH
uri=https://tallow.audio/plugins/yawp-wah
seconds=0.5
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# expect_status STATUS TEXT ARGS...: the host exits with STATUS and says
# TEXT on stderr.
expect_status() {
    want=$1
    text=$2
    shift 2
    err=$("$host" "$@" 2>&1 >/dev/null)
    got=$?
    [ "$got" -eq "$want" ] || fail "$* exited with $got, not $want"
    echo "$err" | grep -qF -- "$text" || fail "$* did not say \"$text\": $err"
}

# The range a control output showed, as "LOW HIGH", from --verbose.
output_range() {
    awk -v port="$1" '$1 == "out" && $2 == port { print $3, $5 }'
}

# ---- one figure on stdout
out=$("$host" --seconds "$seconds" "$uri") || fail "the plug-in at its defaults did not run"
echo "defaults: $out"
echo "$out" | grep -Eqx '[0-9]+\.[0-9]{2} ns/sample' || fail "unexpected output: $out"

# ---- settings reach the plug-in; its meters come back
err=$("$host" --seconds "$seconds" --verbose "$uri" 2>&1 >/dev/null) || fail "--verbose did not run"
echo "$err" | grep -qF "library: ${2}/" || fail "the plug-in was not loaded from the built bundle: $err"
echo "$err" | grep -qx "audio: 1 in, 1 out; control: 32 in, 4 out; atom: 1 in, 0 out; CV: 0 in, 0 out" ||
    fail "the ports were not all found: $err"
settled=$(echo "$err" | output_range mod_position)
echo "defaults: mod_position $settled"
[ "$settled" = "50 50" ] || fail "at its defaults the pedal moved: $settled"

err=$("$host" --seconds "$seconds" --verbose "$uri" lfo_on=1 lfo_free_rate=5 2>&1 >/dev/null) || fail "the LFO case did not run"
echo "$err" | grep -Eq '^ +in +lfo_free_rate +5$' || fail "lfo_free_rate=5 was not applied: $err"
swept=$(echo "$err" | output_range mod_position)
echo "lfo_on=1: mod_position $swept"
echo "$swept" | awk '{ exit !($2 - $1 > 90) }' || fail "the LFO did not sweep the pedal: $swept"

# ---- other block lengths, down to one sample
for block in 1 32 4096; do
    "$host" --seconds 0.1 --block "$block" "$uri" lfo_on=1 >/dev/null || fail "block $block did not run"
done

# ---- bad command lines
expect_status 1 'no port "no_such_port"' --seconds "$seconds" "$uri" no_such_port=1
expect_status 1 '"mod_position" is not a control input' --seconds "$seconds" "$uri" mod_position=1
expect_status 1 "no plug-in <urn:nothing:here>" --seconds "$seconds" urn:nothing:here
expect_status 2 "expected SYMBOL=VALUE" --seconds "$seconds" "$uri" lfo_on
expect_status 2 "expected SYMBOL=VALUE" --seconds "$seconds" "$uri" lfo_on=fast
expect_status 2 "bad option or value" --block 0 "$uri"
expect_status 2 "bad option or value" --seconds "$uri"
expect_status 2 "no plug-in URI given" --seconds "$seconds"

# ---- a stereo plug-in, where one is installed; any other failure of it
# is a failure of ours
stereo=http://drobilla.net/plugins/mda/RezFilter
if err=$("$host" --seconds 0.1 --verbose "$stereo" 2>&1 >/dev/null); then
    echo "$err" | grep -q "^audio: 2 in, 2 out;" || fail "$stereo: both inputs were not found: $err"
elif echo "$err" | grep -qF "no plug-in <$stereo> on LV2_PATH"; then
    echo "skipped the stereo case: $stereo is not installed"
else
    fail "$stereo did not run: $err"
fi

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
