#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: the programs, the libraries they load, the data, the
# desktop entry (checked by desktop-file-validate) and the icons where they belong, and the
# installed programs run from any folder: kelvane lists its devices and records, and zarvo
# comes up, answers the remote and records into its folder.
#
#   install_test.sh BUILD_DIR          (run under dbus-run-session)
set -u
build=$(cd "$1" && pwd)
command -v desktop-file-validate >/dev/null || { echo "skipped: no desktop-file-validate"; exit 77; }
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "skipped: no session bus"; exit 77; }
prefix=$(mktemp -d)
trap 'kill $zarvo 2>/dev/null; wait 2>/dev/null; rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; exit 1; }
rm -f "$prefix.log"
for file in bin/zarvo bin/kelvane lib/quillon/libquillon_platform.so lib/quillon/libkelvane.so \
    lib/quillon/libmp3enc.so share/quillon/Form1.layout share/quillon/sample.wav \
    share/quillon/guide/index.html share/quillon/images/mixer.png \
    share/applications/org.quillon.Zarvo.desktop \
    share/icons/hicolor/48x48/apps/org.quillon.Zarvo.png \
    share/icons/hicolor/256x256/apps/org.quillon.Zarvo.png; do
    [ -s "$prefix/$file" ] || fail "$file is not installed"
done
desktop-file-validate "$prefix/share/applications/org.quillon.Zarvo.desktop" ||
    fail "the desktop entry does not validate"
readelf -d "$prefix/bin/zarvo" | grep -q 'RUNPATH.*\$ORIGIN/../lib/quillon' ||
    fail "bin/zarvo has no run path to its libraries"
[ "$(readlink "$prefix/bin/kelvane")" = ../lib/quillon/kelvane ] ||
    fail "bin/kelvane is not a link to the program beside its libraries"

# From another folder, with nothing of the build tree on any path.
cd /
export XDG_CONFIG_HOME="$prefix/config" KELVANE_AUDIO=virtual
"$prefix/bin/kelvane" devices | grep -q 'Quillon Virtual Input 1' || fail "installed kelvane lists no devices"
"$prefix/bin/kelvane" record "$prefix/take.wav" --seconds 1 --clock manual >/dev/null ||
    fail "installed kelvane cannot record"
QT_QPA_PLATFORM=offscreen "$prefix/bin/zarvo" >"$prefix/zarvo.log" 2>&1 &
zarvo=$!
status=""
for _ in $(seq 100); do
    status=$("$prefix/bin/zarvo" --status 2>/dev/null) && break
    sleep 0.1
done
[ "$status" = "idle	$prefix/bin/zarvo.wav	0" ] || fail "installed zarvo's status: '$status'"
"$prefix/bin/zarvo" --record || fail "--record"
sleep 1.5
"$prefix/bin/zarvo" --stop || fail "--stop"
for _ in $(seq 50); do [ -s "$prefix/bin/zarvo.wav" ] && break; sleep 0.1; done
[ -s "$prefix/bin/zarvo.wav" ] || fail "installed zarvo recorded nothing"
grep '^zarvo: ' "$prefix/zarvo.log" && fail "installed zarvo showed a message"

[ $failures -eq 0 ] || exit 1
echo "installed into $prefix and ran from /"
