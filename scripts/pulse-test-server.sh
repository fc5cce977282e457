#!/usr/bin/env bash
# A private PulseAudio server for the device tests and benchmarks, reached through ALSA's `pulse`
# device. It has a null sink `quillon_sink` (its `quillon_sink.monitor` source records what is
# played into it) and a sine source `quillon_sine` (440 Hz, the default source: a steady input).
#
#   pulse-test-server.sh start   start it unless one already answers; prints shell assignments:
#                                PULSE_SERVER=... and QUILLON_PULSE_STARTED=1 (we started it) or 0
#   pulse-test-server.sh stop    stop it, only if this script started it
#   pulse-test-server.sh status  exit 0 when it answers
#
# Use:  eval "$(scripts/pulse-test-server.sh start)" && export PULSE_SERVER
#
# Works as root without D-Bus or sound hardware (the root and D-Bus warnings are harmless; they
# go to the log). QUILLON_PULSE_DIR chooses the folder (default /tmp/quillon-pulse-$UID).
set -euo pipefail

dir=${QUILLON_PULSE_DIR:-/tmp/quillon-pulse-$(id -u)}
runtime="$dir/runtime"
socket="$runtime/pulse/native"
server="unix:$socket"
pidfile="$dir/started.pid"
log="$dir/server.log"

answers() {
    PULSE_SERVER=$server timeout 5 pactl info >/dev/null 2>&1
}

ours_running() {
    [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

start() {
    if answers; then
        echo "PULSE_SERVER=$server"
        # Already there (someone else's, or left by an earlier start): not this caller's to stop.
        echo "QUILLON_PULSE_STARTED=0"
        return 0
    fi
    if ! command -v pulseaudio >/dev/null; then
        echo "pulse-test-server: pulseaudio is not installed" >&2
        return 1
    fi
    mkdir -p "$runtime/pulse" "$dir/home"
    chmod 700 "$runtime"
    rm -f "$socket"
    cat >"$dir/server.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$socket
load-module module-null-sink sink_name=quillon_sink sink_properties=device.description=QuillonNullSink
load-module module-sine-source source_name=quillon_sine frequency=440
set-default-sink quillon_sink
set-default-source quillon_sine
EOF
    # A private runtime folder and home: nothing of a desktop session's server is touched.
    XDG_RUNTIME_DIR=$runtime HOME=$dir/home PULSE_SERVER=$server \
        pulseaudio -n -F "$dir/server.pa" --daemonize=yes --exit-idle-time=-1 \
        --disallow-exit --use-pid-file=yes --log-target=file:"$log" >>"$log" 2>&1 || true
    for _ in $(seq 1 50); do
        if answers; then
            local pid
            pid=$(cat "$runtime/pulse/pid" 2>/dev/null || true)
            [ -n "$pid" ] && echo "$pid" >"$pidfile"
            echo "PULSE_SERVER=$server"
            echo "QUILLON_PULSE_STARTED=1"
            return 0
        fi
        sleep 0.1
    done
    echo "pulse-test-server: the server did not start; see $log" >&2
    return 1
}

stop() {
    if ! ours_running; then
        rm -f "$pidfile"
        return 0
    fi
    local pid
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$pidfile"
}

case "${1:-}" in
start) start ;;
stop) stop ;;
status) answers ;;
*)
    echo "usage: $0 start|stop|status" >&2
    exit 2
    ;;
esac
