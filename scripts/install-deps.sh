#!/usr/bin/env bash
# Installs what building, running and testing Pelkora needs on Debian 12.
# Safe to run again: apt-get only adds what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libsndfile1-dev
    qt6-base-dev
    libpulse-dev pulseaudio pulseaudio-utils
    xvfb xauth xdotool x11-utils imagemagick desktop-file-utils dbus
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    sox libsox-fmt-pulse
)

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
