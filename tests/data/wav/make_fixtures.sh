#!/usr/bin/env bash
# Regenerates the WAV files that other programs wrote, which the reader tests and the fuzz seeds
# use. Short signals keep them small; -bitexact keeps ffmpeg from stamping its version in.
set -euo pipefail
cd "$(dirname "$0")"
sox -n -r 8000 -c 1 -b 16 sox_pcm16_mono_8k.wav synth 0.01 sine 440
sox -n -r 8000 -c 1 -e a-law sox_alaw_mono_8k.wav synth 0.01 sine 440
sox -n -r 48000 -c 3 -b 24 sox_pcm24_3ch_48k.wav synth 0.001 sine 440
ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.01 -ac 2 \
    -metadata title=Tune -metadata artist=Me -bitexact ffmpeg_list_stereo_22k.wav
ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=11025:duration=0.01 \
    -write_bext 1 -bitexact ffmpeg_bext_mono_11k.wav
