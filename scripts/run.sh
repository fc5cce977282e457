#!/usr/bin/env bash
# `make run`: the desktop program when there is a display and it has been built, else the
# command-line demo on the virtual sound card.
set -euo pipefail
build=${1:-build}
bin="$build/bin"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/zarvo" ]; then
    exec "$bin/zarvo"
fi
export KELVANE_AUDIO=${KELVANE_AUDIO:-virtual}
exec "$bin/kelvane" script --clock real "$(dirname "$0")/../tools/demo.kvs"
