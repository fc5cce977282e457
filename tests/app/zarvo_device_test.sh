#!/usr/bin/env bash
# A real recording through ALSA on the PulseAudio test server, made as a person makes one: zarvo
# on an X display, Record clicked, three seconds, Stop clicked. The file must hold the server's
# 440 Hz sine source in the sample's format.
#
#   zarvo_device_test.sh BIN_DIR        (PULSE_SERVER names the test server)
#
# Exits 77 (skipped) without the server or a tool.
set -u
source "$(dirname "$0")/zarvo_session.sh"
bin=$(cd "$1" && pwd)
[ -n "${PULSE_SERVER:-}" ] || skip "no PulseAudio test server (PULSE_SERVER is unset)"
PULSE_SERVER=$PULSE_SERVER timeout 5 pactl info >/dev/null 2>&1 || skip "the test server does not answer"
for tool in openbox xdotool xprop sox; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

start_display 1024x700
work=$session_dir
start_window_manager
make_app_tree "$bin"
export KELVANE_AUDIO=alsa
unset PULSE_SOURCE

"$app/bin/zarvo" >"$work/zarvo.log" 2>&1 &
keep_pid $!
main=$(wait_for_window 'Quillon V1.60 ')
[ -n "$main" ] || { echo "the main window did not appear"; cat "$work/zarvo.log"; exit 1; }
sleep 0.5
click_at 86 59   # Record Ctrl+R
sleep 3
click_at 86 121  # Stop Ctrl+S
take="$app/bin/zarvo.wav"
for _ in $(seq 50); do [ -s "$take" ] && break; sleep 0.1; done
[ -s "$take" ] || { echo "no recording"; cat "$work/zarvo.log"; exit 1; }
echo "recorded: $(sox --i -r "$take") Hz, $(sox --i -c "$take") channels, $(sox --i -D "$take") s"
[ "$(sox --i -r "$take")" = 44100 ] && [ "$(sox --i -c "$take")" = 2 ] ||
    { echo "not in the sample's format"; exit 1; }
# The first captured data arrives up to 1.5 s after the start; measure after it.
stats=$(sox "$take" -n trim 1.5 remix 1 stat 2>&1)
frequency=$(echo "$stats" | awk '/Rough   frequency/ {print $3}')
amplitude=$(echo "$stats" | awk '/Maximum amplitude/ {print $3}')
echo "tone: $frequency Hz, peak $amplitude"
awk -v f="$frequency" -v a="$amplitude" 'BEGIN { exit !(f >= 430 && f <= 450 && a > 0.05) }' ||
    { echo "the recording does not hold the server's 440 Hz tone"; echo "$stats"; exit 1; }
# Every message box zarvo shows is also said on standard error.
if grep '^zarvo: ' "$work/zarvo.log" | grep -v 'remote control'; then
    echo "zarvo showed a message"
    exit 1
fi
echo "zarvo recorded the server's tone through ALSA"
