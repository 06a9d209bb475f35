#!/usr/bin/env bash
# Installs what building and running Pelkora needs on Debian 12; with --tests,
# also what the test suite needs (private sound servers, X server, fuzzing).
# Safe to run again: apt-get only adds what is missing.
#
# The sound servers are test-only on purpose: installing PipeWire's pulse
# service or PulseAudio enables it for every user at login, which on a desktop
# that runs the other server would leave two competing for the sound card.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libsndfile1-dev libebur128-dev libespeak-ng-dev
    qt6-base-dev
    libcli11-dev
    libx11-dev libxtst-dev
    libpulse-dev pulseaudio-utils
    libsystemd-dev
    libhamlib-dev
    sox
)
test_packages=(
    pulseaudio
    pipewire pipewire-bin pipewire-pulse wireplumber
    xvfb xauth xdotool x11-utils imagemagick desktop-file-utils dbus openbox python3-dbus-next
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libsox-fmt-pulse
    clang libclang-rt-14-dev
    libhamlib-utils
    ffmpeg
)
if [ "${1:-}" = "--tests" ]; then
    packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
