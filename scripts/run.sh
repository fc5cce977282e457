#!/usr/bin/env bash
# `make run`: the desktop program when there is a display and it has been built; otherwise a
# short command-line demo on the virtual sound card: record a few seconds of its tone, show what
# was recorded, play it back.
set -euo pipefail
build=${1:-build}
bin="$build/bin"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/zarvo" ]; then
    exec "$bin/zarvo"
fi

export KELVANE_AUDIO=virtual
export KELVANE_VIRTUAL_INPUT=${KELVANE_VIRTUAL_INPUT:-sine:440:0.5}
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
take="$demo/demo.wav"

echo "== Quillon demo on the virtual sound card (input: $KELVANE_VIRTUAL_INPUT)"
"$bin/kelvane" devices
echo
"$bin/kelvane" record "$take" --seconds 3 --format pcm:22050:1:16 --info INAM="Demo take"
echo
"$bin/kelvane" info "$take"
echo
"$bin/kelvane" play "$take"
