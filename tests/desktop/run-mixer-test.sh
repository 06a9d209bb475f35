#!/usr/bin/env bash
# Microphone mode and the "Line out" meter as an operator meets them: the real
# `pelkora` window on a private X server whose sound server has a 700 Hz sine
# source as its default source. Alt+M puts the tone on the sink and keys the
# transmitter; Alt+M again silences it. F1 plays a loud file and lights the
# meter, which goes dark after it. The Line regulator moves the sink's volume.
# File > Exit and a kill -9 both leave nothing of the keyer in the sound server.
#
#   run-mixer-test.sh PELKORA_BINARY
#
# The transmitter is seen through the TX lamp of the window (the key the
# program drives its port with). Exit status 0 when all of it holds; each
# fault is a FAIL line. PELKORA_KEEP_WORK=1 keeps the work folder.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=desktop-session.sh
source "$here/desktop-session.sh"

readonly record_rate=48000
readonly tone_hz=700
readonly min_pitch_hz=650
readonly max_pitch_hz=750
# The loopback carries the sine source at its own level (about 0.5).
readonly min_tone_peak=0.05
readonly max_silent_peak=0.01
readonly loud_seconds=3
readonly macro1='~[tx]~[floud.wav]~[rx]'
readonly normal_title='Pelkora'
readonly microphone_title='Pelkora (Microphone mode)'
# The meter's LEDs inside the main window: 20 of them, 6 pixels apart.
readonly led_left=243
readonly led_pitch=6
readonly led_count=20

binary="${1:-}"
work=""
recorder_pid=""
window=""
failures=0

# A wrong step that does not stop the ones after it.
fault() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

finish() {
    session_finish $? "$recorder_pid"
}

# The default source is a steady tone: what the microphone path passes is known.
prepare_sound_server() {
    pactl load-module module-sine-source source_name=tone frequency="$tone_hz" >/dev/null
    pactl set-default-source tone
}

write_sound_and_profile() {
    mkdir -p "$work/sound"
    sox -D -n -r 48000 -c 1 -b 16 "$work/sound/loud.wav" synth "$loud_seconds" sine 1000 vol 0.9
    cat >"$(session_profile)" <<PROFILE
[Paths]
SoundDir=$work/sound/
[Macroses]
Macro1=$macro1
PROFILE
}

launch() {
    session_launch "$binary"
    window="$(session_find_window 20)" || fail "no window named Pelkora was mapped within 20 s"
}

press_key() {
    session_press_key "$window" "$1"
}

# Records SECONDS of the sink's monitor into NAME.wav.
record_sink() {
    local name="$1" seconds="$2"
    parecord -d pelkora_null.monitor --raw --format=s16le --rate="$record_rate" --channels=1 \
        "$work/$name.raw" 2>"$work/parecord.log" &
    recorder_pid=$!
    sleep "$seconds"
    kill -INT "$recorder_pid" 2>/dev/null || true
    session_wait_exit "$recorder_pid" 5 || true
    recorder_pid=""
    [ -s "$work/$name.raw" ] || fail "the recording '$name' is empty: $(cat "$work/parecord.log")"
    sox -t raw -r "$record_rate" -e signed -b 16 -c 1 "$work/$name.raw" "$work/$name.wav"
}

wait_for_title() {
    local wanted="$1" deadline=$((SECONDS + $2))
    until [ "$(xdotool getwindowname "$window" 2>/dev/null)" = "$wanted" ]; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

grab() {
    import -window "$window" "$work/$1.png"
}

# "r g b" of the pixel at X,Y of a grab.
pixel() {
    convert "$work/$1.png" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' \
        -crop "1x1+$2+$3" info:
}

# The grab holds the menu bar above the buttons: the LED row is found as the
# first green pixel down the first LED's column.
led_row() {
    convert "$work/$1.png" -crop "1x80+$((led_left + 3))+0" txt:- |
        awk -F'[(),:]' 'NR > 1 && $4 + 0 < 90 && $5 + 0 > 100 && $6 + 0 < 90 { print $2; exit }'
}

# 1 for a lit LED, 0 for a dark one: the low LEDs are green, the top ones
# yellow and red, each at full brightness when lit and at half when dark.
led_state() {
    local r g b top
    read -r r g b <<<"$(pixel "$1" $((led_left + led_pitch * $2 + 3)) "$3")"
    top=$((r > g ? r : g))
    top=$((top > b ? top : b))
    if [ "$top" -ge 230 ]; then
        echo 1
    elif [ "$top" -ge 100 ] && [ "$top" -le 160 ]; then
        echo 0
    else
        echo "LED $2 has colour $r,$g,$b"
        return 1
    fi
}

# Lit LEDs, from the left, in a grab.
lit_leds() {
    local row i count=0 state
    row="$(led_row "$1")"
    [ -n "$row" ] || fail "no meter LEDs in the grab '$1'"
    row=$((row + 8))
    for ((i = 0; i < led_count; i++)); do
        state="$(led_state "$1" "$i" "$row")" || fail "$state in the grab '$1'"
        count=$((count + state))
    done
    echo "$count"
}

# The TX button's lamp is bright red while the transmitter is keyed.
tx_lamp_lit() {
    convert "$work/$1.png" -crop 40x60+0+0 txt:- |
        awk -F'[(),:]' 'NR > 1 && $4 + 0 > 200 && $5 + 0 < 120 && $6 + 0 < 120 { found = 1 }
                       END { exit !found }'
}

check_microphone_on() {
    press_key alt+m
    wait_for_title "$microphone_title" 4 ||
        fault "after Alt+M the title is '$(xdotool getwindowname "$window")'"
    record_sink mike_on 3
    local peak pitch
    peak="$(session_stat_of "$work/mike_on.wav" 'Maximum amplitude')"
    pitch="$(session_stat_of "$work/mike_on.wav" 'Rough')"
    echo "microphone mode: peak $peak, about $pitch Hz on the sink"
    if session_within "$peak" "$min_tone_peak" 1; then
        session_within "$pitch" "$min_pitch_hz" "$max_pitch_hz" ||
            fault "microphone mode: the sink carries $pitch Hz, expected $tone_hz Hz"
    else
        fault "microphone mode: the sink is silent (peak $peak)"
    fi
    grab mike_on
    tx_lamp_lit mike_on || fault "microphone mode: the transmitter is not keyed (TX lamp dark)"
}

check_microphone_off() {
    press_key alt+m
    wait_for_title "$normal_title" 4 ||
        fault "after the second Alt+M the title is '$(xdotool getwindowname "$window")'"
    sleep 0.5
    record_sink mike_off 1
    local peak
    peak="$(session_stat_of "$work/mike_off.wav" 'Maximum amplitude')"
    echo "microphone mode left: peak $peak on the sink"
    session_within "$peak" 0 "$max_silent_peak" ||
        fault "microphone mode left: the sink still sounds (peak $peak)"
    grab mike_off
    ! tx_lamp_lit mike_off || fault "microphone mode left: the transmitter is still keyed"
}

check_meter() {
    local lit
    press_key F1
    sleep 1
    grab playing
    lit="$(lit_leds playing)"
    echo "meter while the file plays: $lit of $led_count LEDs lit"
    [ "$lit" -ge 1 ] || fault "the meter stays dark while the loud file plays"
    local first r g b
    first="$(pixel playing $((led_left + 3)) "$(($(led_row playing) + 8))")"
    read -r r g b <<<"$first"
    if [ "$r" -ge 40 ] || [ "$g" -lt 230 ] || [ "$b" -ge 40 ]; then
        fault "the first LED is $first while the file plays, not bright green"
    fi
    tx_lamp_lit playing || fault "the transmitter is not keyed while macro 1 plays"
    # About 1 s after the file's end.
    sleep "$loud_seconds"
    grab played
    lit="$(lit_leds played)"
    echo "meter 1 s after the file: $lit LEDs lit"
    [ "$lit" -eq 0 ] || fault "the meter shows $lit LEDs 1 s after the file ended"
    ! tx_lamp_lit played || fault "the transmitter is still keyed after macro 1 ended"
}

sink_volume_percent() {
    pactl get-sink-volume @DEFAULT_SINK@ | awk -F/ 'NR == 1 { gsub(/[ %]/, "", $2); print $2 }'
}

# Waits for the sink's volume to become PERCENT; prints what it is.
expect_sink_volume() {
    local wanted="$1" deadline=$((SECONDS + 3)) now
    while true; do
        now="$(sink_volume_percent)"
        if [ "$now" = "$wanted" ] || [ "$SECONDS" -ge "$deadline" ]; then
            echo "$now"
            return 0
        fi
        sleep 0.05
    done
}

# The tool window may lie partly off the screen: it is brought in, and its
# Line regulator takes the focus from a click, then the keys.
check_line_regulator() {
    local volumes now
    volumes="$(session_find_window 5 '^Volumes$')" || fail "the Volumes window is not shown"
    xdotool windowmove --sync "$volumes" 600 100
    xdotool mousemove --window "$volumes" 74 140 click 1
    sleep 0.3
    xdotool key Home
    now="$(expect_sink_volume 0)"
    echo "Line at its bottom (Home): sink at $now %"
    [ "$now" = 0 ] || fault "Line regulator Home: the sink's volume is $now %, expected 0 %"
    xdotool key End
    now="$(expect_sink_volume 100)"
    echo "Line at its top (End): sink at $now %"
    [ "$now" = 100 ] || fault "Line regulator End: the sink's volume is $now %, expected 100 %"
}

expect_server_clean() {
    local what="$1" deadline=$((SECONDS + $2)) left
    while true; do
        left="$(session_keyer_in_server)"
        [ -n "$left" ] || return 0
        if [ "$SECONDS" -ge "$deadline" ]; then
            fault "$what: the sound server still holds $left"
            return 0
        fi
        sleep 0.1
    done
}

close_through_dialog() {
    local status=0
    session_exit_through_menu "$window" || status=$?
    [ "$status" -ne 124 ] || fail "the program still runs 10 s after the close was confirmed"
    [ "$status" -eq 0 ] || fault "the program exited with status $status"
    expect_server_clean "after File > Exit" 2
}

check_kill_in_microphone_mode() {
    launch
    press_key alt+m
    wait_for_title "$microphone_title" 4 || fault "restarted: Alt+M did not enter microphone mode"
    [ -n "$(session_keyer_in_server)" ] || fault "restarted in microphone mode: no stream of the keyer"
    kill -KILL "$session_program_pid"
    session_wait_exit "$session_program_pid" 5 || true
    session_program_pid=""
    expect_server_clean "after kill -9 in microphone mode" 2
}

main() {
    session_traps finish
    session_check_binary "$binary"
    session_require_tools Xvfb xauth xdotool sox parecord pactl pulseaudio import convert || exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-mixer.XXXXXX")"
    session_start "$work" || fail "the private desktop session did not start"
    prepare_sound_server
    write_sound_and_profile

    launch
    echo "main window $window mapped"
    check_microphone_on
    check_microphone_off
    check_meter
    check_line_regulator
    close_through_dialog
    check_kill_in_microphone_mode
    [ "$failures" -eq 0 ] || fail "$failures steps failed"
    echo "PASS: microphone mode, the meter, the Line regulator and both ends hold"
}

main
