#!/usr/bin/env bash
# Runs every test of a built tree. The device tests (label `device`) use a private PulseAudio
# server and a private PipeWire server: each is started here when it is not already running, and
# stopped again only if this run started it. Where one cannot start, its device tests skip and
# say why.
set -euo pipefail
build=${1:-build}
scripts=$(cd "$(dirname "$0")" && pwd)

# A private PulseAudio folder brings a private PipeWire folder beside it, so that two test runs
# never share a server.
if [ -n "${QUILLON_PULSE_DIR:-}" ] && [ -z "${QUILLON_PIPEWIRE_DIR:-}" ]; then
    export QUILLON_PIPEWIRE_DIR="$QUILLON_PULSE_DIR-pipewire"
fi

started=0
if server=$("$scripts/pulse-test-server.sh" start); then
    eval "$server"
    export PULSE_SERVER
    started=${QUILLON_PULSE_STARTED:-0}
else
    echo "test.sh: no PulseAudio test server; its device tests will skip" >&2
fi
pipewire_started=0
if server=$("$scripts/pipewire-test-server.sh" start); then
    eval "$server"
    pipewire_started=${QUILLON_PIPEWIRE_STARTED:-0}
else
    echo "test.sh: no PipeWire test server; its device tests will skip" >&2
fi
stop_servers() {
    if [ "$started" = 1 ]; then "$scripts/pulse-test-server.sh" stop; fi
    if [ "$pipewire_started" = 1 ]; then "$scripts/pipewire-test-server.sh" stop; fi
}
trap stop_servers EXIT

cd "$build"
ctest --output-on-failure -j2 --timeout 300 "${@:2}"
