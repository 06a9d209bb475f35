#!/usr/bin/env bash
# Recording a message from the main window, as an operator does it: the real
# `pelkora` window on a private X server and a private sound server whose
# default source is a sine tone. Ctrl+Shift+F2 starts a take of macro 2's
# file, Ctrl+Shift+F2 again ends it; the file then holds the tone, and
# "Undo last take" in the Recordings window puts the earlier file back byte
# for byte. No transmitter is keyed on the way.
#
#   run-recording-test.sh PELKORA_BINARY
#
# A screenshot of the Recordings window goes to $PELKORA_SHOT (default
# /tmp/shot-recordings.png). PELKORA_KEEP_WORK=1 keeps the work folder.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=desktop-session.sh
source "$here/desktop-session.sh"

readonly source_hz=440
readonly take_seconds=1.5
readonly macro2='~[tx]~[fcq.wav]~[rx]'
# The take as recorded: most of the time the keys were apart, at the source's
# pitch (module-sine-source plays at a fixed level).
readonly min_take_seconds=0.8
readonly min_pitch_hz=400
readonly max_pitch_hz=480
readonly min_peak=0.05

binary="${1:-}"
shot="${PELKORA_SHOT:-/tmp/shot-recordings.png}"
work=""

finish() {
    session_finish "$?"
}

write_sound_and_profile() {
    mkdir -p "$work/sound"
    # The earlier take: a different tone, so the take and the undo are told apart.
    sox -D -n -r 16000 -c 1 -b 16 "$work/sound/cq.wav" synth 0.5 sine 1000 vol 0.5
    cp "$work/sound/cq.wav" "$work/earlier.wav"
    cat >"$(session_profile)" <<PROFILE
[Paths]
SoundDir=$work/sound/
[Macroses]
Macro2=$macro2
[Recording]
EvenLoudness=0
PROFILE
}

use_sine_source() {
    pactl load-module module-sine-source source_name=pelkora_sine frequency="$source_hz" \
        >/dev/null || fail "the sound server has no module-sine-source"
    pactl set-default-source pelkora_sine
}

# Streams recording the sine source (the keyer's line-out meter records the
# sink's monitor: not counted).
sine_streams() {
    local sine
    sine="$(pactl list short sources | awk '$2 == "pelkora_sine" { print $1 }')"
    pactl list short source-outputs 2>/dev/null | awk -v sine="$sine" '$2 == sine' | wc -l
}

# wait_for_streams TEST COUNT MESSAGE: until the sine source's record
# streams compare to COUNT by TEST (-gt, -eq), or fail with MESSAGE after 5 s.
wait_for_streams() {
    local deadline=$((SECONDS + 5))
    until [ "$(sine_streams)" "$1" "$2" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$3"
        sleep 0.05
    done
}

check_take() {
    local length peak pitch
    cmp -s "$work/sound/cq.wav" "$work/earlier.wav" && fail "cq.wav is still the earlier take"
    length="$(soxi -D "$work/sound/cq.wav")"
    peak="$(session_stat_of "$work/sound/cq.wav" 'Maximum amplitude')"
    pitch="$(session_stat_of "$work/sound/cq.wav" 'Rough')"
    echo "take: ${length} s, peak ${peak}, about ${pitch} Hz"
    session_within "$length" "$min_take_seconds" 30 || fail "the take is ${length} s long"
    session_within "$peak" "$min_peak" 1 || fail "the take is silent: peak ${peak}"
    session_within "$pitch" "$min_pitch_hz" "$max_pitch_hz" ||
        fail "the take is at ${pitch} Hz, expected the source's ${source_hz} Hz"
    [ -e "$work/sound/.cq.wav.undo" ] || fail "no undo copy beside the take"
}

save_screenshot() {
    if command -v import >/dev/null 2>&1; then
        import -window root "$shot" && echo "screenshot: $shot"
    fi
}

# Setup > Record messages..., cq.wav (the first row) selected, then Alt+U
# (Undo last take).
undo_in_recordings_window() {
    local window recordings
    window="$1"
    session_press_key "$window" alt+s
    xdotool key r
    recordings="$(session_find_window 10 '^Recordings$')" || fail "no Recordings window"
    xdotool windowfocus --sync "$recordings"
    xdotool key Home
    sleep 0.5
    save_screenshot
    xdotool key alt+u
    local deadline=$((SECONDS + 5))
    until cmp -s "$work/sound/cq.wav" "$work/earlier.wav"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "Undo last take did not bring back the earlier cq.wav"
        sleep 0.1
    done
}

main() {
    session_traps finish
    session_check_binary "$binary"
    session_require_tools Xvfb xauth xdotool sox soxi pactl pulseaudio || exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-recording.XXXXXX")"
    session_start "$work" || fail "the private desktop session did not start"
    use_sine_source
    write_sound_and_profile

    session_launch "$binary"
    local window
    window="$(session_find_window 20)" || fail "no window named Pelkora was mapped within 20 s"
    session_press_key "$window" ctrl+shift+F2
    wait_for_streams -gt 0 "Ctrl+Shift+F2 opened no record stream"
    sleep "$take_seconds"
    session_press_key "$window" ctrl+shift+F2
    wait_for_streams -eq 0 "the record stream stayed open after the second press"
    check_take

    undo_in_recordings_window "$window"
    echo "PASS: Ctrl+Shift+F2 recorded the source into cq.wav; undo restored the earlier file"
}

main
