#!/usr/bin/env bash
# A private PipeWire server with its pulse server, for the device tests and benchmarks: the same
# devices as the PulseAudio test server (scripts/pulse-test-server.sh), a null sink `quillon_sink`
# (its monitor `quillon_sink.monitor` records what is played into it) and a sine source
# `quillon_sine` (440 Hz, the default source), reached through the pulse protocol.
#
#   pipewire-test-server.sh start   start it unless one already answers; prints shell assignments:
#                                   QUILLON_PIPEWIRE_SERVER=unix:... (a PULSE_SERVER value) and
#                                   QUILLON_PIPEWIRE_STARTED=1 (we started it) or 0
#   pipewire-test-server.sh stop    stop it, only if this script started it
#   pipewire-test-server.sh status  exit 0 when it answers
#   pipewire-test-server.sh pids    the server's processes (pipewire, pipewire-pulse,
#                                   wireplumber), one a line, for measuring their CPU
#
# pipewire, wireplumber and pipewire-pulse run under their own D-Bus session (dbus-run-session)
# with a private runtime folder, home and configuration, so nothing of a desktop session's
# servers, nor another user of this script with another folder, is touched. Works as root
# without sound hardware. QUILLON_PIPEWIRE_DIR chooses the folder (default
# /tmp/quillon-pipewire-$UID).
set -euo pipefail

dir=${QUILLON_PIPEWIRE_DIR:-/tmp/quillon-pipewire-$(id -u)}
runtime="$dir/runtime"
socket="$runtime/pulse/native"
server="unix:$socket"
pidfile="$dir/started.pid" # the process group of the session
log="$dir/server.log"

answers() {
    PULSE_SERVER=$server timeout 5 pactl info >/dev/null 2>&1
}

ours_running() {
    [ -f "$pidfile" ] && kill -0 -- "-$(cat "$pidfile")" 2>/dev/null
}

write_config() {
    mkdir -p "$dir/config/pipewire/pipewire.conf.d" "$dir/config/pipewire/pipewire-pulse.conf.d"
    cat >"$dir/config/pipewire/pipewire.conf.d/quillon.conf" <<'EOF'
context.spa-libs = {
    audiotestsrc = audiotestsrc/libspa-audiotestsrc
}
context.objects = [
    { factory = adapter
      args = { factory.name = support.null-audio-sink
               node.name = quillon_sink
               node.description = QuillonNullSink
               media.class = Audio/Sink
               audio.position = [ FL FR ]
               monitor.channel-volumes = true } }
    { factory = adapter
      args = { factory.name = audiotestsrc
               node.name = quillon_sine
               node.description = "Sine source at 440 Hz"
               media.class = Audio/Source
               audio.position = [ FL FR ] } }
]
EOF
    # The session runs the three servers and waits for the one that exits first.
    cat >"$dir/session.sh" <<'EOF'
pipewire &
for _ in $(seq 1 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
wireplumber &
pipewire-pulse &
wait -n
EOF
}

start() {
    if answers; then
        echo "QUILLON_PIPEWIRE_SERVER=$server"
        # Already there (someone else's, or left by an earlier start): not this caller's to stop.
        echo "QUILLON_PIPEWIRE_STARTED=0"
        return 0
    fi
    local tool
    for tool in pipewire pipewire-pulse wireplumber dbus-run-session pactl; do
        if ! command -v "$tool" >/dev/null; then
            echo "pipewire-test-server: $tool is not installed" >&2
            return 1
        fi
    done
    if ours_running; then stop; fi
    mkdir -p "$runtime" "$dir/home" "$dir/state" "$dir/data"
    chmod 700 "$runtime"
    rm -rf "$runtime/pulse" "$runtime/pipewire-0" "$runtime/pipewire-0.lock"
    write_config
    # setsid: the session is a process group of its own, stopped as one.
    env -u PULSE_SERVER -u PIPEWIRE_REMOTE -u DBUS_SESSION_BUS_ADDRESS \
        XDG_RUNTIME_DIR="$runtime" HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" \
        XDG_STATE_HOME="$dir/state" XDG_DATA_HOME="$dir/data" \
        setsid dbus-run-session -- bash "$dir/session.sh" >>"$log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    for _ in $(seq 1 100); do
        if answers && PULSE_SERVER=$server pactl list short sources 2>/dev/null |
            grep -q quillon_sine; then
            PULSE_SERVER=$server pactl set-default-sink quillon_sink >>"$log" 2>&1 || true
            PULSE_SERVER=$server pactl set-default-source quillon_sine >>"$log" 2>&1 || true
            echo "QUILLON_PIPEWIRE_SERVER=$server"
            echo "QUILLON_PIPEWIRE_STARTED=1"
            return 0
        fi
        sleep 0.1
    done
    echo "pipewire-test-server: the server did not start; see $log" >&2
    stop
    return 1
}

stop() {
    if ! ours_running; then
        rm -f "$pidfile"
        return 0
    fi
    local group
    group=$(cat "$pidfile")
    kill -TERM -- "-$group" 2>/dev/null || true
    for _ in $(seq 1 50); do
        kill -0 -- "-$group" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL -- "-$group" 2>/dev/null || true
    rm -f "$pidfile"
}

pids() {
    ours_running || return 0
    local group
    group=$(cat "$pidfile")
    pgrep -g "$group" -x "pipewire|pipewire-pulse|wireplumber" || true
}

case "${1:-}" in
start) start ;;
stop) stop ;;
status) answers ;;
pids) pids ;;
*)
    echo "usage: $0 start|stop|status|pids" >&2
    exit 2
    ;;
esac
