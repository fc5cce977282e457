#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; with the argument
# `bench`, also the peer programs the benchmarks compare with. Safe to run again: it only calls
# apt-get when a package is missing.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # real parts behind the platform layer
    libasound2-dev libasound2-plugins libpulse-dev libmp3lame-dev libmpg123-dev libgsm1-dev
    libsoxr-dev libx11-dev libdbus-1-dev qt6-base-dev zlib1g-dev
    # peers that tests and benchmarks compare with, and the sound servers of the device tests
    sox libsox-fmt-all ffmpeg lame mpg123 alsa-utils pulseaudio pulseaudio-utils xvfb
    pipewire pipewire-pulse wireplumber
    # the desktop tests: a window manager driven by key presses, private session buses and the
    # fake desktop portal
    openbox xdotool dbus python3-dbus python3-gi
    # the skinned widgets' tests on a real display: window geometry and screenshots read from
    # outside, and an accessibility bus with its Python bindings
    x11-utils imagemagick at-spi2-core python3-pyatspi
    # the desktop program at run time (the guide in the browser, the user's music folder) and
    # the check of its desktop entry
    xdg-utils xdg-user-dirs desktop-file-utils
)
# `install-deps.sh bench`: also the peers the benchmarks of bench/ start beside ours.
if [ "${1:-}" = bench ]; then
    packages+=(gnome-sound-recorder audacity)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
