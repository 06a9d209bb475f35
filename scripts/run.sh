#!/usr/bin/env bash
# Sets everything up and runs the keyer: builds the desktop program `pelkora`
# and starts it. A first run gets a sound directory of spoken characters (and
# tones for whatever speech could not make) so that the keys have something to
# play. On a machine without a display it says how
# to start the program and plays the demo with the command-line player instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DPELKORA_TESTS=OFF -DPELKORA_BENCH=OFF

config_dir="${XDG_CONFIG_HOME:-$HOME/.config}/pelkora"
if [ ! -e "$config_dir/sound" ]; then
    echo "First run: demo recordings go to $config_dir/sound"
    # Speech where eSpeak NG works; the demo script fills in the rest (the
    # messages of the default macros, or every file as a tone).
    build/release/pelkora-voices --sound-dir "$config_dir/sound" ||
        echo "Spoken characters could not be made; tones stand in for them"
    scripts/make-demo-sounds.sh "$config_dir/sound"
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/release/pelkora "$@"
fi

cat <<MESSAGE
No display here, so the window cannot open. On a desktop session run:
    $root/build/release/pelkora        (add DEBUG for a diagnostic log)
Meanwhile, the demo through the command-line player:
MESSAGE
demo="$root/build/demo"
output="$demo/demo-on-air.wav"
mkdir -p "$demo"
macro='~[tx]~[fcq.wav]~[ec]~[p40]~[er]~[rx]'
echo "Macro: $macro   (call DL1ABC, report 59)"
if pactl info >/dev/null 2>&1; then
    build/release/pelkora-play --sound-dir "$config_dir/sound" --call DL1ABC --events "$macro"
fi
build/release/pelkora-play --sound-dir "$config_dir/sound" --call DL1ABC --events \
    --output "$output" "$macro"
echo "What would go on air: $output"
