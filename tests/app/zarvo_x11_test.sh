#!/usr/bin/env bash
# zarvo on a real X display with a window manager (Xvfb and openbox) and a private session bus,
# driven from outside as a person would: the global hotkeys pressed while another window has
# the focus (also with zarvo minimised), a recording, a pause, a playback by a double-click on
# the list, the format chooser, a conversion to MP3 in the conversion window, the remote (`zarvo --status`, `--record`, `--stop`), and a
# second copy that finds the hotkeys taken. Screenshots of each state go to SHOTS.
#
#   zarvo_x11_test.sh BIN_DIR SHOTS        (run under dbus-run-session)
#
# The program runs from a folder of its own (bin/ beside share/quillon, as installed) so its
# recordings land there. Exits 77 (skipped) where a tool is missing.
set -u
source "$(dirname "$0")/zarvo_session.sh"
bin=$(cd "$1" && pwd)
shots=$2
for tool in openbox xdotool xprop xwininfo import xmessage sox ffprobe; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || skip "no session bus (run under dbus-run-session)"
mkdir -p "$shots"

start_display 1280x800
work=$session_dir
start_window_manager

make_app_tree "$bin"
export KELVANE_AUDIO=virtual KELVANE_VIRTUAL_INPUT=sine:440:0.5
export KELVANE_HOTKEYS=x11 LC_ALL=C

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
status() { "$app/bin/zarvo" --status 2>&1; }
# Waits (up to 10 s) until `zarvo --status` begins with the activity asked for.
expect_status() {
    local want=$1 what=$2 got
    for _ in $(seq 100); do
        got=$(status)
        [ "${got%%$'\t'*}" = "$want" ] && return 0
        sleep 0.1
    done
    fail "$what: status '$got', expected $want"
}
shot() { import -window root "$shots/$1.png"; }

"$app/bin/zarvo" >"$work/zarvo.log" 2>&1 &
zarvo=$!
keep_pid $zarvo
main=$(wait_for_window 'Quillon V1.60 ')
[ -n "$main" ] || { echo "the main window did not appear"; cat "$work/zarvo.log"; exit 1; }
expect_status idle "at start-up"
sleep 0.5
shot zarvo_idle

# Another window has the focus: the hotkeys still reach zarvo.
xmessage -geometry 260x70+10+10 "another program" &
keep_pid $!
other=$(wait_for_window xmessage)
xdotool windowactivate --sync "$other" 2>/dev/null
xdotool key ctrl+r
expect_status recording "Ctrl+R with another window focused"
sleep 2.2
shot zarvo_recording
xdotool windowactivate --sync "$other" 2>/dev/null
xdotool key ctrl+p
expect_status paused "Ctrl+P"
sleep 0.3
shot zarvo_paused
xdotool key ctrl+p
expect_status recording "Ctrl+P again"
xdotool key ctrl+s
expect_status idle "Ctrl+S"
[ -s "$app/bin/zarvo.wav" ] || fail "no recording in the program's folder"
rate=$(sox --i -r "$app/bin/zarvo.wav" 2>/dev/null)
[ "$rate" = 44100 ] || fail "the recording's rate is '$rate', not the sample's 44100"

# Minimised: Ctrl+R brings the window back and records; Ctrl+S stops.
xdotool windowminimize --sync "$main"
xdotool windowactivate --sync "$other" 2>/dev/null
xdotool key ctrl+r
expect_status recording "Ctrl+R while minimised"
for _ in $(seq 50); do
    xwininfo -id "$main" | grep -q IsViewable && break
    sleep 0.1
done
xwininfo -id "$main" | grep -q IsViewable || fail "Ctrl+R did not restore the minimised window"
sleep 1.2
xdotool key ctrl+s
expect_status idle "Ctrl+S after the restore"
[ -s "$app/bin/zarvo_ 2.wav" ] || fail "the second recording is not zarvo_ 2.wav"

# The remote: what the status says, and a recording started and stopped from outside.
got=$(status)
[ "$got" = "idle	$app/bin/zarvo_ 3.wav	0" ] || fail "idle status '$got'"
"$app/bin/zarvo" --record || fail "--record"
expect_status recording "--record"
sleep 1.3
got=$(status)
case "$got" in "recording	$app/bin/zarvo_ 3.wav	"[12]) ;; *) fail "recording status '$got'" ;; esac
"$app/bin/zarvo" --stop || fail "--stop"
expect_status idle "--stop"

# Playback: a double-click on the first recording.
click_at 260 74
xdotool click --repeat 2 --delay 80 1
expect_status playing "a double-click on the list"
sleep 1.2
shot zarvo_playing
click_at 86 152
expect_status idle "Stop Playing"

# The format chooser, shown by Recording Setting and closed with Cancel.
click_at 86 221
chooser=$(wait_for_window 'Choose Format WAV file')
if [ -n "$chooser" ]; then
    sleep 0.5
    shot zarvo_format_chooser
    xdotool windowactivate --sync "$chooser" 2>/dev/null
    xdotool key Escape
else
    fail "Recording Setting showed no format chooser"
fi

# The conversion window, opened by Wav to Mp3: the paths typed, Convert; the window shows the
# progress while the encoder works and stays responsive, then Complete, and players read the file.
sox -n -r 44100 -c 1 -b 16 "$work/long.wav" synth 300 sine 440 vol 0.5
click_at 86 252
conversion=$(wait_for_window 'WAV to MP3')
if [ -n "$conversion" ]; then
    xdotool windowmove --sync "$conversion" 420 80
    sleep 0.5
    shot form2_idle
    click_in "$conversion" 181 75
    xdotool type --delay 2 "$work/long.wav"
    click_in "$conversion" 181 141
    xdotool type --delay 2 "$work/long.mp3"
    click_in "$conversion" 205 309
    sleep 0.8
    shot form2_converting
    # The MP3 file takes its name once it is finished.
    for _ in $(seq 600); do [ -s "$work/long.mp3" ] && break; sleep 0.1; done
    sleep 0.5
    shot form2_complete
    length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/long.mp3" 2>&1)
    case "$length" in 299.9* | 300.0*) ;; *) fail "the converted file lasts '$length', not 300 s" ;; esac
    click_in "$conversion" 397 309
    for _ in $(seq 50); do xwininfo -id "$conversion" >/dev/null 2>&1 || break; sleep 0.1; done
    xwininfo -id "$conversion" >/dev/null 2>&1 && fail "Cancel did not close the conversion window"
    rm -f "$work/long.wav" "$work/long.mp3"
else
    fail "Wav to Mp3 showed no conversion window"
fi

# A second copy finds every combination taken: four messages in order, then it ends before its
# window shows.
"$app/bin/zarvo" >"$work/second.log" 2>&1 &
second=$!
keep_pid $second
seen_window=""
for box in 1 2 3 4; do
    found=""
    for _ in $(seq 100); do
        found=$(xdotool search --all --onlyvisible --pid "$second" --name '^Quillon$' 2>/dev/null | head -1)
        [ -n "$found" ] && break
        sleep 0.1
    done
    [ -n "$found" ] || { fail "message box $box of the second copy did not appear"; break; }
    [ "$box" = 1 ] && shot zarvo_second_copy
    seen_window+=$(xdotool search --all --onlyvisible --pid "$second" --name 'Quillon V1.60' 2>/dev/null)
    xdotool windowactivate --sync "$found" 2>/dev/null
    xdotool key Return
    sleep 0.3
done
for _ in $(seq 100); do kill -0 $second 2>/dev/null || break; sleep 0.1; done
if kill -0 $second 2>/dev/null; then
    fail "the second copy did not end"
else
    wait $second
    [ $? = 1 ] || fail "the second copy ended with another status than 1"
fi
expected=$(printf '%s\n' \
    "zarvo: Can not register the hotkeys CTRL+R ...this key is already registered by some other running applications." \
    "zarvo: Can not register the hotkeys CTRL+P ...this key is already registered by some other running applications." \
    "zarvo: Can not register the hotkeys CTRL+S ... this key is already registered by some other running applications." \
    "zarvo: No Hotkey could be registered ...!")
got=$(grep '^zarvo: ' "$work/second.log" | grep -v 'remote control')
[ "$got" = "$expected" ] || fail "the second copy said: $got"
[ -z "$seen_window" ] ||
    fail "the second copy showed its window"

# The first copy is unharmed, and Close ends it.
expect_status idle "after the second copy"
click_at 86 314
for _ in $(seq 100); do kill -0 $zarvo 2>/dev/null || break; sleep 0.1; done
kill -0 $zarvo 2>/dev/null && fail "Close did not end the program"

if [ $failures -gt 0 ]; then
    echo "--- zarvo's output"; cat "$work/zarvo.log"
    exit 1
fi
echo "zarvo under X11: every check passed; screenshots in $shots"
