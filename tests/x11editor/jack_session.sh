# Sourced by the scripts that run the editor in jalv.gtk3: bounded waiting
# and a JACK server of their own on the dummy driver. No shebang: it runs in
# the sourcing shell, which owns jack_pid and ends the server.

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
wait_for() {
    tries=$(($1 * 10))
    shift
    while [ "$tries" -gt 0 ]; do
        "$@" >/dev/null 2>&1 && return 0
        tries=$((tries - 1))
        sleep 0.1
    done
    return 1
}

# start_jack NAME LOG: a JACK server called NAME on the dummy driver, with
# its output in LOG; sets jack_pid and makes NAME the clients' default.
# False (the log printed) when it is not up within ten seconds.
start_jack() {
    jackd --no-realtime -n "$1" -d dummy -r 48000 -p 256 >"$2" 2>&1 &
    jack_pid=$!
    export JACK_DEFAULT_SERVER="$1"
    wait_for 10 jack_lsp && return 0
    cat "$2"
    return 1
}
