#!/usr/bin/env bash
# Makes a small sound directory for the demo: a "CQ" message and one file per
# character, as tones (espeak-ng is used for speech when it is installed).
set -euo pipefail
dir="$1"
mkdir -p "$dir"

make_sound() {
    local file="$1" text="$2" tone="$3"
    [ -f "$dir/$file" ] && return
    if command -v espeak-ng >/dev/null 2>&1; then
        espeak-ng -w "$dir/tmp.wav" "$text" 2>/dev/null &&
            sox -D "$dir/tmp.wav" -r 16000 -c 1 -b 16 "$dir/$file" && rm -f "$dir/tmp.wav" && return
    fi
    sox -D -n -r 16000 -c 1 -b 16 "$dir/$file" synth 0.25 sine "$tone" fade 0.01 0.25 0.01
}

make_sound cq.wav "C Q contest" 700
tone=400
for c in A B C D E F G H I J K L M N O P Q R S T U V W X Y Z 0 1 2 3 4 5 6 7 8 9; do
    make_sound "$c.wav" "$c" "$tone"
    tone=$((tone + 20))
done
make_sound stroke.wav "stroke" 1200
# The default macros of F2..F12 play 2.wav .. 9.wav, a.wav, b.wav, c.wav.
for f in 2 3 4 5 6 7 8 9 a b c; do
    make_sound "$f.wav" "message $f" 900
done
