#!/usr/bin/env bash
# Two figures of the desktop program's mixer side, under a private X server
# and sound server (tests/desktop/desktop-session.sh):
#   - its CPU while idle with the "Line out" meter running, as % of one core
#     over 20 s (utime + stime from /proc), on a quiet machine and beside two
#     busy loops;
#   - the microphone path's delay: clicks played into a null sink "mic" whose
#     monitor is the keyer's source, recorded on that monitor and on the
#     keyer's sink at once, Mike on; the median delay between the onsets.
#   - the meter's lag behind the sound: a file of sharp onsets (silence, then
#     a loud tone) played into the sink, its monitor recorded and dated while
#     the meter's first LED is read every millisecond (meter_lag.py); the
#     delay from each onset to the LED lighting, quiet and beside two busy
#     loops, median, quartiles and range.
# The two recorders start a few milliseconds apart; the same pair of
# recorders on one source gives that skew, printed beside the delay.
#
#   bench/mixer/run-mixer-bench.sh BUILD_DIR
#
# Not a test: prints a table; exit status 0 whenever the figures were taken.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../tests/desktop/desktop-session.sh
source "$root/tests/desktop/desktop-session.sh"

readonly target_cpu_percent=0.5
readonly target_delay_ms=40
readonly cpu_seconds=20
readonly record_rate=48000
readonly clicks=20
readonly target_meter_lag_ms=60
readonly onsets=20
# The first LED of the meter, as the desktop tests find it in the window.
readonly led_x=246

build_dir="${1:-}"
binary="$build_dir/pelkora"
work=""
busy_pids=()
recorder_pids=()
window=""

finish() {
    local status=$? pid
    for pid in "${busy_pids[@]}" "${recorder_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    session_stop
    [ -z "$work" ] || [ "${PELKORA_KEEP_WORK:-0}" = 1 ] || rm -rf "$work"
    exit "$status"
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

launch() {
    session_launch "$binary"
    window="$(session_find_window 20)" || fail "no window named Pelkora was mapped within 20 s"
    # Past the start-up work: the meter alone is left.
    sleep 3
}

cpu_ticks() {
    sed -e 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# % of one core the program used over cpu_seconds.
cpu_percent() {
    local before after hz
    hz="$(getconf CLK_TCK)"
    before="$(cpu_ticks "$session_program_pid")"
    sleep "$cpu_seconds"
    after="$(cpu_ticks "$session_program_pid")"
    awk -v ticks="$((after - before))" -v hz="$hz" -v s="$cpu_seconds" \
        'BEGIN { printf "%.2f", 100 * ticks / hz / s }'
}

start_busy_loops() {
    local i
    for i in 1 2; do
        bash -c 'while :; do :; done' &
        busy_pids+=($!)
        : "$i"
    done
}

stop_busy_loops() {
    local pid
    for pid in "${busy_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    busy_pids=()
}

start_recorder() {
    parecord -d "$1" --raw --format=s16le --rate="$record_rate" --channels=1 --latency-msec=5 \
        "$work/$2.raw" 2>>"$work/parecord.log" &
    recorder_pids+=($!)
}

stop_recorders() {
    local pid
    for pid in "${recorder_pids[@]}"; do
        kill -INT "$pid" 2>/dev/null || true
        session_wait_exit "$pid" 5 || true
    done
    recorder_pids=()
}

# Median of the numbers on standard input.
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# min p25 median p75 max of the numbers on standard input ("-" lines skipped).
spread() {
    grep -v '^-$' | sort -n | awk '
        function at(q) { i = 1 + q * (NR - 1); lo = int(i); f = i - lo
                         return lo < NR ? v[lo] + f * (v[lo + 1] - v[lo]) : v[lo] }
        { v[NR] = $1 }
        END { if (NR == 0) print "- - - - -"
              else printf "%.1f %.1f %.1f %.1f %.1f\n", v[1], at(0.25), at(0.5), at(0.75), v[NR] }'
}

# Lags of the meter behind the onsets of the sink, one a line, into NAME.
meter_lags() {
    python3 "$here/meter_lag.py" "$window" "$led_x" "$work/onsets.wav" >"$work/lags-$1"
    [ -s "$work/lags-$1" ] || fail "no onset was heard on the sink"
}

# Plays the click train into "mic" with FIRST and SECOND recording the named
# sources together; prints the median delay in ms from the first to the second.
click_delay() {
    local first="$1" second="$2" delays
    rm -f "$work/a.raw" "$work/b.raw"
    start_recorder "$first" a
    start_recorder "$second" b
    sleep 1
    paplay -d mic "$work/clicks.wav"
    sleep 0.5
    stop_recorders
    delays="$(python3 "$here/onsets.py" "$record_rate" "$work/a.raw" "$work/b.raw")"
    [ -n "$delays" ] || fail "no click was heard on $second"
    echo "$delays" >"$work/delays-$second"
    echo "$delays" | median
}

main() {
    trap finish EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    [ -x "$binary" ] || fail "no program at $binary: build the target 'pelkora' in $build_dir"
    session_require_tools Xvfb xauth xdotool sox parecord paplay pactl pulseaudio python3 || exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-mixer-bench.XXXXXX")"
    session_start "$work" || fail "the private desktop session did not start"

    pactl load-module module-null-sink sink_name=mic rate=48000 >/dev/null
    cat >"$(session_profile)" <<PROFILE
[Sound]
Source=mic.monitor
PROFILE
    sox -n -r "$record_rate" -c 1 -b 16 "$work/clicks.wav" \
        synth 0.002 sine 1000 vol 0.9 pad 0.1 0.198 repeat "$((clicks - 1))"

    # One onset every 1.5025 s: the meter is read every 50 ms, and each onset
    # comes 2.5 ms later in that cycle than the one before, so the 20 of them
    # sweep the whole cycle rather than meeting the same point of it.
    sox -n -r 48000 -c 1 -b 16 "$work/onsets.wav" \
        synth 0.3 sine 1000 vol 0.9 pad 1.2025 0 repeat "$((onsets - 1))"

    launch
    local idle busy
    idle="$(cpu_percent)"
    meter_lags idle
    start_busy_loops
    busy="$(cpu_percent)"
    meter_lags busy
    stop_busy_loops

    xdotool windowfocus --sync "$window"
    xdotool key --window "$window" alt+m
    sleep 1
    local skew delay
    skew="$(click_delay mic.monitor mic.monitor)"
    delay="$(click_delay mic.monitor pelkora_null.monitor)"
    xdotool key --window "$window" alt+m

    printf '%-44s %10s %10s\n' figure measured goal
    printf '%-44s %10s %10s\n' "idle CPU, meter running (% of one core)" "$idle" "< $target_cpu_percent"
    printf '%-44s %10s %10s\n' "idle CPU beside 2 busy loops (%)" "$busy" "< $target_cpu_percent"
    printf '%-44s %10s %10s\n' "microphone to sink, median of $clicks (ms)" "$delay" "< $target_delay_ms"
    printf '%-44s %10s %10s\n' "  recorder skew, same source (ms)" "$skew" "-"
    echo
    local quiet loaded
    read -r -a quiet <<<"$(spread <"$work/lags-idle")"
    read -r -a loaded <<<"$(spread <"$work/lags-busy")"
    printf '%-34s %14s %20s %8s\n' "meter lag behind the sink (ms)" quiet "beside 2 busy loops" goal
    printf '%-34s %14s %20s %8s\n' "  median" "${quiet[2]}" "${loaded[2]}" "< $target_meter_lag_ms"
    printf '%-34s %14s %20s %8s\n' "  quartiles" "${quiet[1]}..${quiet[3]}" \
        "${loaded[1]}..${loaded[3]}" "-"
    printf '%-34s %14s %20s %8s\n' "  range" "${quiet[0]}..${quiet[4]}" \
        "${loaded[0]}..${loaded[4]}" "-"
    printf '%-34s %14s %20s %8s\n' "  onsets followed / played" \
        "$(grep -vc '^-$' "$work/lags-idle")/$(wc -l <"$work/lags-idle")" \
        "$(grep -vc '^-$' "$work/lags-busy")/$(wc -l <"$work/lags-busy")" "-"
}

main
