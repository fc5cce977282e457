#!/usr/bin/env bash
# The frame's window behaviour on a real X server with a window manager (Xvfb and openbox),
# driven with a real pointer (xdotool): dragging by the title goes through the window
# manager's own move, a double-click on the title maximises and restores, the right border
# resizes on release, and the title turns pale while another window is active.
#
#   x11_frame_test.sh GALLERY
#
# Exits 77 (skipped) where Xvfb, openbox, xdotool or ImageMagick's import are missing.
set -u
source "$(dirname "$0")/display_session.sh"
gallery=$1
for tool in openbox xdotool xprop xwininfo import xmessage; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

start_display 1600x1200
work=$session_dir
start_window_manager

QT_QPA_PLATFORM=xcb "$gallery" >"$work/gallery.log" 2>&1 &
keep_pid $!
window=$(wait_for_window 'Skin gallery')
[ -n "$window" ] || { echo "the gallery window did not appear on $DISPLAY"; cat "$work/gallery.log" "$work/wm.log"; exit 1; }

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
geometry() {  # prints X Y W H of the window
    xwininfo -id "$window" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
# Waits (up to 5 s) until the window's geometry is the one asked for, or says what it is.
expect_geometry() {
    local want=$1 what=$2 got
    for _ in $(seq 50); do
        got=$(geometry)
        [ "$got" = "$want" ] && return 0
        sleep 0.1
    done
    fail "$what: geometry $got, expected $want"
}
pixel() {  # prints R,G,B of a screen pixel
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- | sed -n 's/.*(\([0-9]*,[0-9]*,[0-9]*\).*/\1/p' | head -1
}
# Waits until the pixel satisfies the awk condition on r, g, b.
expect_pixel() {
    local x=$1 y=$2 condition=$3 what=$4 got
    for _ in $(seq 50); do
        got=$(pixel "$x" "$y")
        echo "$got" | awk -F, "{r=\$1; g=\$2; b=\$3; exit !($condition)}" && return 0
        sleep 0.1
    done
    fail "$what: pixel ($x,$y) is $got"
}

xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.5
read -r x y w h < <(geometry)
echo "gallery at $x,$y ${w}x$h"

# The active look: the title bar is saturated blue.
expect_pixel $((x + 300)) $((y + 14)) "b > 200 && r < 40" "active title"

# Drag by the title through the window manager's move.
xdotool mousemove $((x + 300)) $((y + 14)) mousedown 1
xdotool mousemove $((x + 304)) $((y + 14))  # past the threshold: the move begins here
sleep 0.3
for step in 1 2 3 4 5; do xdotool mousemove $((x + 300 + step * 20)) $((y + 14 + step * 10)); sleep 0.05; done
xdotool mouseup 1
expect_geometry "$((x + 96)) $((y + 50)) $w $h" "drag by the title"
read -r x y w h < <(geometry)

# The right border resizes once, on release.
xdotool mousemove $((x + w - 2)) $((y + h / 2)) mousedown 1
xdotool mousemove $((x + w + 30)) $((y + h / 2))
sleep 0.1
xdotool mousemove $((x + w + 58)) $((y + h / 2)) mouseup 1
expect_geometry "$x $y $((w + 60)) $h" "resize by the right border"
read -r x y w h < <(geometry)

# A double-click on the title maximises; another restores.
xdotool mousemove $((x + 300)) $((y + 14)) click --repeat 2 --delay 80 1
for _ in $(seq 50); do read -r _ _ mw _ < <(geometry); [ "$mw" -eq 1600 ] && break; sleep 0.1; done
[ "$mw" -eq 1600 ] || fail "double-click did not maximise (width $mw)"
xdotool mousemove 300 14 click --repeat 2 --delay 80 1
expect_geometry "$x $y $w $h" "double-click restores"

# Another window active: the title turns pale; back again: blue.
xmessage -geometry +1200+900 "another window" &
keep_pid $!
other=$(wait_for_window xmessage)
xdotool windowactivate --sync "$other" 2>/dev/null || xdotool mousemove 1250 920 click 1
expect_pixel $((x + 300)) $((y + 14)) "r > 100 && b > 200" "inactive title"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool mousemove $((x + 300)) $((y + 100)) click 1
expect_pixel $((x + 300)) $((y + 14)) "b > 200 && r < 40" "active title again"

if [ "$failures" -gt 0 ]; then
    cat "$work/gallery.log"
    exit 1
fi
echo "drag, resize, maximise, restore and both looks work under a window manager"
