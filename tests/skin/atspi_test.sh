#!/usr/bin/env bash
# The gallery on a real accessibility bus: a private session bus (dbus-run-session), a private
# X display (Xvfb on a free display number) and the accessibility bus on it. atspi_probe.py
# finds widgets by role and name and clicks them through their action; the gallery reports
# every Click on standard output, which is checked here.
#
#   atspi_test.sh GALLERY PROBE
#
# Exits 77 (skipped) where the bus, the display or the Python bindings are missing.
set -u
here=$(dirname "$0")

if [ "${1:-}" != "--inside" ]; then
    gallery=$1 probe=$2
    skip() {
        echo "skipped: $*"
        exit 77
    }
    command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed"
    [ -x /usr/libexec/at-spi-bus-launcher ] || skip "at-spi2-core is not installed"
    /usr/bin/python3 -c "import pyatspi" 2>/dev/null || skip "python3-pyatspi is not installed"
    exec dbus-run-session -- "$0" --inside "$gallery" "$probe"
fi
gallery=$2 probe=$3
source "$here/display_session.sh"
start_display 1280x1024
work=$session_dir

/usr/libexec/at-spi-bus-launcher --launch-immediately 2>"$work/bus.log" &
keep_pid $!
bus_up=0
for _ in $(seq 100); do
    if dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1; then
        bus_up=1
        break
    fi
    sleep 0.1
done
[ "$bus_up" = 1 ] || skip "the accessibility bus did not start: $(cat "$work/bus.log")"

QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 \
    "$gallery" --report-clicks >"$work/clicks" 2>"$work/gallery.log" &
keep_pid $!

if ! /usr/bin/python3 "$probe" skin_gallery; then
    echo "gallery log:"
    cat "$work/gallery.log"
    exit 1
fi

status=0
for expected in "Click cmdRecord" "Click xphelp1" "Click chkLive"; do
    if ! grep -qx "$expected" "$work/clicks"; then
        echo "the gallery did not report: $expected"
        status=1
    fi
done
if grep -q "Click cmdDisabled" "$work/clicks"; then
    echo "a disabled button was clicked"
    status=1
fi
[ "$status" = 0 ] && echo "clicks reported: $(tr '\n' ' ' <"$work/clicks")"
exit "$status"
