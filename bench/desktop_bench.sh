#!/usr/bin/env bash
# zarvo beside the desktop recorders a user would otherwise start, all run the same way in the
# same run under Xvfb with a window manager, a private session bus and the PulseAudio test
# server (reached through ALSA by zarvo, through their own sound libraries by the peers):
#   - start-up: from the start of the program to its main window shown (median of RUNS, after
#     one warm-up run each);
#   - peak memory while recording: the largest resident set of the program and its children
#     over SECONDS of recording, started with the program's own record key.
# A peer that is not installed is left out (scripts/install-deps.sh bench installs them).
#
#   desktop_bench.sh BIN_DIR [RUNS] [SECONDS]
set -u
bin=$(cd "$1" && pwd)
runs=${2:-5}
seconds=${3:-60}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    exec dbus-run-session -- "$0" "$@"
fi
for tool in Xvfb openbox xdotool pactl; do
    command -v "$tool" >/dev/null || { echo "desktop_bench: $tool is not installed"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    [ "${pulse_started:-0}" = 1 ] && "$source_dir/scripts/pulse-test-server.sh" stop
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1
eval "$("$source_dir/scripts/pulse-test-server.sh" start)" || exit 1
export PULSE_SERVER
pulse_started=${QUILLON_PULSE_STARTED:-0}

# Every run gets a fresh home, so no earlier settings, recordings or left-overs of an ended
# run (Audacity offers to recover a project it was stopped in, and its dialog takes the record
# key) play a part.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$work/template/Music" "$work/template/Recordings" "$work/template/.config/audacity" \
    "$work/template/.audacity-data" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Audacity's first start shows a welcome window before its own; a user who has seen it once
# does not get it again.
for folder in "$work/template/.config/audacity" "$work/template/.audacity-data"; do
    printf '[GUI]\nShowSplashScreen=0\n' >"$folder/audacity.cfg"
done
fresh_home() {
    rm -rf "$HOME"
    cp -r "$work/template" "$HOME"
    # Audacity keeps its unsaved projects in the temporary folder.
    export TMPDIR="$HOME/tmp"
    mkdir -p "$TMPDIR"
}

app="$work/app"
mkdir -p "$app/bin" "$app/share"
cp "$bin/zarvo" "$app/bin/"
for lib in "$bin"/*.so; do ln -s "$lib" "$app/bin/"; done
ln -s "$bin/../share/quillon" "$app/share/quillon"

# name | window title | record key | command
programs=("zarvo|Quillon V1.60|ctrl+r|env KELVANE_AUDIO=alsa QT_QPA_PLATFORM=xcb $app/bin/zarvo")
command -v gnome-sound-recorder >/dev/null &&
    programs+=("gnome-sound-recorder|Sound Recorder|ctrl+r|gnome-sound-recorder")
command -v audacity >/dev/null && programs+=("audacity|Audacity|r|audacity")

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

declare -A startup low high peak streams
for entry in "${programs[@]}"; do
    IFS='|' read -r name title keys command <<<"$entry"
    times=()
    for run in $(seq 0 "$runs"); do
        fresh_home
        # shellcheck disable=SC2086
        out=$("$bin/desktop_probe" "$title" -- $command 2>>"$work/$name.log") ||
            { echo "$name did not show its window; see below"; cat "$work/$name.log"; continue 2; }
        [ "$run" -gt 0 ] && times+=("${out%% *}")
        sleep 1
    done
    startup[$name]=$(printf '%s\n' "${times[@]}" | median)
    low[$name]=$(printf '%s\n' "${times[@]}" | sort -n | head -1)
    high[$name]=$(printf '%s\n' "${times[@]}" | sort -n | tail -1)
    fresh_home
    # Recording: the capture streams the server sees half-way tell that it really records.
    (sleep $((seconds / 2 + 3)); pactl list short source-outputs | wc -l >"$work/$name.streams") &
    # shellcheck disable=SC2086
    # Each is given the same time to settle after its window shows (Audacity opens a welcome
    # window a few seconds after its own).
    out=$("$bin/desktop_probe" "$title" --keys "$keys" --settle 8 --seconds "$seconds" -- $command \
        2>>"$work/$name.log")
    wait $!
    peak[$name]=$(awk -v kb="${out##* }" 'BEGIN {printf "%.1f", kb / 1024}')
    streams[$name]=$(cat "$work/$name.streams" 2>/dev/null || echo 0)
    sleep 1
done

printf '\n%-22s %14s %14s %22s %8s\n' program "start-up ms" "(min-max)" "peak MB recording ${seconds}s" streams
for entry in "${programs[@]}"; do
    name=${entry%%|*}
    [ -n "${startup[$name]:-}" ] || continue
    printf '%-22s %14s %14s %22s %8s\n' "$name" "${startup[$name]}" "(${low[$name]}-${high[$name]})" \
        "${peak[$name]}" "${streams[$name]}"
done
fastest=""
for entry in "${programs[@]}"; do
    name=${entry%%|*}
    [ "$name" = zarvo ] || [ -z "${startup[$name]:-}" ] && continue
    if [ -z "$fastest" ] || awk -v a="${startup[$name]}" -v b="${startup[$fastest]}" 'BEGIN {exit !(a < b)}'; then
        fastest=$name
    fi
done
if [ -n "$fastest" ] && [ -n "${startup[zarvo]:-}" ]; then
    awk -v z="${startup[zarvo]}" -v p="${startup[$fastest]}" -v zm="${peak[zarvo]}" \
        -v pm="${peak[$fastest]}" -v name="$fastest" 'BEGIN {
        printf "\nzarvo / %s: start-up %.2f, peak memory while recording %.2f\n", name, z / p, zm / pm
        printf "goals: start-up <= 150 ms (%s) and <= half of the faster peer (%s); peak <= 60 MB (%s)\n",
            (z <= 150 ? "met" : "missed"), (z <= p / 2 ? "met" : "missed"), (zm <= 60 ? "met" : "missed")
    }'
fi
