#!/usr/bin/env bash
# Makes sample.wav, the recording the program reads at start-up for its default recording
# format: a short spoken phrase as 44.1 kHz stereo 16-bit PCM. Needs espeak-ng and sox (Debian
# packages of the same names); run it from anywhere and commit its output.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
espeak-ng -v en-gb -s 150 -w "$work/voice.wav" "Welcome to Quillon. This is the sample recording."
# The voice comes as 22 kHz mono; the sample is CD quality, a little quiet, with a short fade.
sox "$work/voice.wav" -r 44100 -c 2 -b 16 -e signed-integer "$here/sample.wav" \
    gain -n -3 fade t 0.02 0 0.05
sox --i "$here/sample.wav"
