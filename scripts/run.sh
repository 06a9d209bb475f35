#!/usr/bin/env bash
# Sets everything up and runs the keyer. For now the keyer is the command-line
# player: it renders a demo macro (a CQ call, a call sign spelled from
# per-character recordings, a pause and a report) to a WAV file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DPELKORA_TESTS=OFF -DPELKORA_BENCH=OFF

demo="$root/build/demo"
scripts/make-demo-sounds.sh "$demo/sound"
output="$demo/demo-on-air.wav"
macro='~[tx]~[fcq.wav]~[ec]~[p40]~[er]~[rx]'
echo "Macro: $macro   (call DL1ABC, report 59)"
build/release/pelkora-play --sound-dir "$demo/sound" --call DL1ABC --rs 59 --events \
    --output "$output" "$macro"
echo "What would go on air: $output"
