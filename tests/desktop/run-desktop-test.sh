#!/usr/bin/env bash
# The desktop program as an operator meets it: the real `pelkora` window on a
# private X server, F2 pressed, and its macro heard on a private sound server;
# then File > Exit, the confirmation answered, and the settings written at close
# checked in pelkora.ini.
#
#   run-desktop-test.sh PELKORA_BINARY
#
# Exit status 0 when all of it holds; otherwise it says what failed. A
# screenshot of the window goes to $PELKORA_SHOT (default /tmp/shot-desktop.png).
# PELKORA_KEEP_WORK=1 keeps the work folder (logs, recording, settings).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=desktop-session.sh
source "$here/desktop-session.sh"

readonly tone_hz=800
readonly tone_seconds=0.5
readonly record_rate=48000
# The tone as heard: its length and pitch, with room for the sound server's
# buffering and resampling; loud enough to be the file, not noise.
readonly min_heard_seconds=0.40
readonly max_heard_seconds=0.65
readonly min_peak=0.2
readonly min_pitch_hz=720
readonly max_pitch_hz=880
readonly macro2='~[tx]~[f2.wav]~[rx]'

binary="${1:-}"
shot="${PELKORA_SHOT:-/tmp/shot-desktop.png}"
work=""
recorder_pid=""

finish() {
    local status=$?
    if [ "$status" -ne 0 ]; then
        report_windows
    fi
    session_finish "$status" "$recorder_pid"
}

# After a failure: the windows on the screen (an unexpected message box
# explains most failures).
report_windows() {
    local window
    if [ -n "${DISPLAY:-}" ] && [ -n "$session_program_pid" ]; then
        echo "--- windows on the screen:" >&2
        for window in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
            echo "$window $(xdotool getwindowname "$window" 2>/dev/null)" >&2
        done
    fi
}

write_sound_and_profile() {
    mkdir -p "$work/sound"
    sox -D -n -r 16000 -c 1 -b 16 "$work/sound/2.wav" synth "$tone_seconds" sine "$tone_hz" vol 0.5
    cat >"$(session_profile)" <<PROFILE
[Paths]
SoundDir=$work/sound/
[Macroses]
Macro2=$macro2
PROFILE
}

# Records the null sink as raw samples: nothing to finish when it is stopped.
start_recorder() {
    parecord -d pelkora_null.monitor --raw --format=s16le --rate="$record_rate" --channels=1 \
        "$work/rec.raw" 2>"$work/parecord.log" &
    recorder_pid=$!
    local deadline=$((SECONDS + 5))
    until pactl list short source-outputs 2>/dev/null | grep -q .; do
        [ "$SECONDS" -lt "$deadline" ] || fail "the recorder did not connect: $(cat "$work/parecord.log")"
        sleep 0.05
    done
}

stop_recorder() {
    kill -INT "$recorder_pid" 2>/dev/null || true
    session_wait_exit "$recorder_pid" 5 || true
    recorder_pid=""
    [ -s "$work/rec.raw" ] || fail "the recording is empty: $(cat "$work/parecord.log")"
    sox -t raw -r "$record_rate" -e signed -b 16 -c 1 "$work/rec.raw" "$work/rec.wav"
}

# The heard part of the recording: from the first to the last sample above 1 %.
heard_seconds() {
    sox "$work/rec.wav" "$work/heard.wav" silence 1 0.005 1% reverse silence 1 0.005 1% reverse
    soxi -D "$work/heard.wav"
}

check_tone_heard() {
    local length peak pitch
    length="$(heard_seconds)"
    session_within "$length" 0.001 1000 || fail "nothing was heard after F2 (Macro2=$macro2)"
    peak="$(session_stat_of "$work/heard.wav" 'Maximum amplitude')"
    pitch="$(session_stat_of "$work/heard.wav" 'Rough')"
    echo "heard ${length} s, peak ${peak}, about ${pitch} Hz"
    session_within "$length" "$min_heard_seconds" "$max_heard_seconds" ||
        fail "heard ${length} s of sound, expected one ${tone_seconds} s tone"
    session_within "$peak" "$min_peak" 1 || fail "the tone is too quiet: peak ${peak}"
    session_within "$pitch" "$min_pitch_hz" "$max_pitch_hz" ||
        fail "heard ${pitch} Hz, expected ${tone_hz} Hz"
}

save_screenshot() {
    if command -v import >/dev/null 2>&1; then
        import -window root "$shot" && echo "screenshot: $shot"
    else
        echo "no screenshot: import (imagemagick) is not installed" >&2
    fi
}

close_through_dialog() {
    local status=0
    session_exit_through_menu "$1" || status=$?
    [ "$status" -ne 124 ] || fail "the program still runs 10 s after the close was confirmed"
    [ "$status" -eq 0 ] || fail "the program exited with status $status"
}

check_profile_after_close() {
    local ini sound_dir macro
    ini="$(session_profile)"
    grep -qx '\[TPelkoranForm\]' "$ini" || fail "pelkora.ini has no [TPelkoranForm] after the close"
    sound_dir="$(session_ini_value "$ini" Paths SoundDir)" || fail "pelkora.ini lost Paths/SoundDir"
    [ "$sound_dir" = "$work/sound/" ] || fail "Paths/SoundDir is '$sound_dir', expected '$work/sound/'"
    macro="$(session_ini_value "$ini" Macroses Macro2)" || fail "pelkora.ini lost Macroses/Macro2"
    [ "$macro" = "$macro2" ] || fail "Macroses/Macro2 is '$macro', expected '$macro2'"
}

main() {
    session_traps finish
    session_check_binary "$binary" "build the target 'pelkora'" \
        "(configure with -DPELKORA_GUI=ON; needs qt6-base-dev) and pass its path"
    session_require_tools Xvfb xauth xdotool sox soxi parecord pactl pulseaudio || exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-desktop.XXXXXX")"
    session_start "$work" || fail "the private desktop session did not start"
    write_sound_and_profile

    session_launch "$binary"
    local window
    window="$(session_find_window 20)" || fail "no window named Pelkora was mapped within 20 s"
    echo "main window $window mapped"
    start_recorder
    session_press_key "$window" F2
    # The window while the macro is on air: TX lit, the queue on display.
    sleep 0.2
    save_screenshot
    sleep 2
    stop_recorder
    check_tone_heard

    close_through_dialog "$window"
    check_profile_after_close
    echo "PASS: F2 played its macro; the close was confirmed and the settings were written"
}

main
