# Sourced by the Qtractor scripts: Qtractor on a JACK server of its own,
# with a private home and a prepared configuration (no first-run questions,
# no autosave, its messages on stderr and in a log), and the session file
# they drive. No shebang: it runs in the sourcing shell, which owns
# jack_pid and qtractor_pid and ends them (stop_all).
#
# Qtractor wants an ALSA sequencer; machines without sound hardware have
# none, so the fake one in FAKE_SEQ (fake_alsa_seq.c) is preloaded.
#
# The sourcing script sets: out (its output folder), fake_seq (the fake
# sequencer's library) and clap_folder (the CLAP folder under test).

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../x11editor/jack_session.sh"
# shellcheck disable=SC2034 # the sourcing scripts start the server
server=yawp-qtractor-$$
jack_pid=""
qtractor_pid=""
status=0

fail() {
    echo "FAILED: $*"
    status=1
}

# [any] Ends Qtractor and the JACK server, politely first.
stop_all() {
    for pid in $qtractor_pid $jack_pid; do
        kill "$pid" 2>/dev/null
    done
    sleep 0.5
    for pid in $qtractor_pid $jack_pid; do
        kill -9 "$pid" 2>/dev/null
    done
    wait 2>/dev/null
}

# A private home whose Qtractor.conf says what would otherwise be asked or
# left to chance.
prepare_home() {
    export HOME="$out/home" XDG_CONFIG_HOME="$out/home/.config" XDG_RUNTIME_DIR="$out/run"
    rm -rf "$HOME" "$XDG_RUNTIME_DIR"
    mkdir -p "$XDG_CONFIG_HOME/rncbc.org" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    cat >"$XDG_CONFIG_HOME/rncbc.org/Qtractor.conf" <<EOF
[Program]
Version=0.9.31

[AutoSave]
Enabled=false

[Default]
SessionBackup=false

[Options]
Display\\StdoutCapture=false
Logging\\MessagesLog=true
Logging\\MessagesLogPath=$out/messages.log
EOF
}

# make_session NAME: $out/NAME/NAME.qtr, one mono audio track playing the
# looped one-second clip $out/noise.wav through our plug-in into the mono
# output bus "Wah" (Qtractor gives a mono plug-in on a stereo track one
# instance, which leaves the right channel silent).
make_session() {
    mkdir -p "$out/$1"
    sed -e "s#@NAME@#$1#" -e "s#@DIR@#$out/$1#" -e "s#@CLIP@#$out/noise.wav#" \
        -e "s#@PLUGIN@#$clap_folder/Yawp Wah.clap#" "$here/session.qtr.in" >"$out/$1/$1.qtr"
}

# start_qtractor SESSION LOG: Qtractor with SESSION, up when its output
# bus is on the JACK server.
start_qtractor() {
    LD_PRELOAD="$fake_seq" qtractor "$1" >"$2" 2>&1 &
    qtractor_pid=$!
    wait_for 30 sh -c "jack_lsp | grep -qx 'Qtractor:Wah/out_1'" && return 0
    fail "Qtractor did not come up with $1"
    cat "$2"
    return 1
}

# save_session SESSION: Qtractor saves on SIGUSR1 (its session-manager
# save), without asking anything.
save_session() {
    touch -d @0 "$1"
    kill -USR1 "$qtractor_pid"
    wait_for 10 sh -c "[ \$(stat -c %Y '$1') -gt 0 ] && grep -q '</session>' '$1'" || {
        fail "Qtractor did not save $1"
        return 1
    }
    sleep 0.3
}

# quit_qtractor: saved first, so that no "save changes?" question stops
# the quit that SIGTERM asks for.
quit_qtractor() {
    save_session "$1" || return 1
    kill -TERM "$qtractor_pid"
    wait_for 15 sh -c "! kill -0 $qtractor_pid" || {
        fail "Qtractor did not quit"
        return 1
    }
    wait "$qtractor_pid" 2>/dev/null
    qtractor_pid=""
}

# transport play|stop: JACK's transport, which Qtractor follows.
transport() {
    echo "$1" | timeout 5 jack_transport >/dev/null 2>&1
}
