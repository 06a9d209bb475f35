#!/usr/bin/env bash
# Start-up figures of the desktop program: the time from exec to the main
# window mapped on the X server (as xev sees it), and the program's resident
# memory once the window is up. Runs under a private X server and sound server
# (tests/desktop/desktop-session.sh), one warm-up run, then RUNS measured ones.
#
#   bench/startup/run-startup-bench.sh [PELKORA_BINARY [RUNS]]
#
# Without a binary it builds `pelkora` in the Release tree build-bench/ (the one
# bench/run-bench.sh uses). Prints min / median / max against the targets; the
# exit status is 0 whenever the figures could be taken. PELKORA_BENCH_RAW=FILE
# keeps each run's "<microseconds> <KiB>" line.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../tests/desktop/desktop-session.sh
source "$root/tests/desktop/desktop-session.sh"

readonly target_startup_ms=300
readonly target_rss_mib=60
# Memory is read once the window has settled (first paint, fonts, sound stream).
readonly settle_seconds=0.5
readonly window_timeout_seconds=20

binary="${1:-}"
runs="${2:-10}"
work=""

finish() {
    local status=$?
    session_kill "$xev_pid"
    session_kill "$stamper_pid"
    session_stop
    [ -z "$work" ] || rm -rf "$work"
    exit "$status"
}

build_release() {
    local build="$root/build-bench" generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DPELKORA_BENCH=ON -DPELKORA_TESTS=OFF >/dev/null
    cmake --build "$build" --target pelkora >&2
    echo "$build/pelkora"
}

now_us() {
    echo "${EPOCHREALTIME/./}"
}

# Every window mapped on the X server, as "<microseconds> <window id>" lines
# in $work/maps, stamped the moment xev reports it: exact where polling with
# xdotool would cost tens of milliseconds a look.
xev_pid=""
stamper_pid=""
stamp_maps() {
    local line
    while IFS= read -r line; do
        if [[ "$line" =~ event\ 0x[0-9a-f]+,\ window\ (0x[0-9a-f]+),\ override ]]; then
            # No $(now_us) here: a subshell would cost a fork per event.
            echo "${EPOCHREALTIME/./} $((BASH_REMATCH[1]))"
        fi
    done
}

watch_maps() {
    mkfifo "$work/xev.fifo"
    stamp_maps <"$work/xev.fifo" >"$work/maps" &
    stamper_pid=$!
    stdbuf -oL xev -root -event substructure >"$work/xev.fifo" 2>/dev/null &
    xev_pid=$!
    # xev shows no sign of being ready; it connects well within this.
    sleep 0.3
}

# When the window was first mapped after $2, from $work/maps (the server hands
# the same ids to each new client); waits a little for the line.
map_time_us() {
    local window="$1" since="$2" time=""
    for _ in $(seq 100); do
        time="$(awk -v id="$window" -v since="$since" '$2 == id && $1 >= since { print $1; exit }' \
            "$work/maps")"
        [ -z "$time" ] || break
        sleep 0.01
    done
    [ -n "$time" ] || return 1
    echo "$time"
}

# Microseconds from exec to the main window mapped, into startup_us.
# Not run in $(...): the program must stay this shell's child.
startup_us=0
launch_and_time_window() {
    local start window mapped
    start="$(now_us)"
    session_launch "$binary"
    if ! window="$(session_find_window "$window_timeout_seconds")"; then
        echo "no main window within ${window_timeout_seconds} s; the program's output:" >&2
        tail -n 20 "$work/pelkora.log" >&2
        return 1
    fi
    mapped="$(map_time_us "$window" "$start")" || {
        echo "xev did not report the mapping of window $window" >&2
        return 1
    }
    startup_us=$((mapped - start))
}

rss_kib() {
    awk '$1 == "VmRSS:" { print $2 }' "/proc/$session_program_pid/status"
}

# One run: appends "<microseconds to window> <resident KiB>" to file $1.
measure_once() {
    local rss
    launch_and_time_window || exit 1
    sleep "$settle_seconds"
    rss="$(rss_kib)"
    session_stop_program
    echo "$startup_us $rss" >>"$1"
}

# min, median and max of the numbers on stdin, scaled by $1.
summary() {
    sort -n | awk -v scale="$1" '
        { value[NR] = $1 / scale }
        END {
            median = NR % 2 ? value[(NR + 1) / 2] : (value[NR / 2] + value[NR / 2 + 1]) / 2
            printf "%s %s %s\n", value[1], median, value[NR]
        }'
}

print_row() {
    local name="$1" unit="$2" target="$3" min median max verdict=within
    read -r min median max
    awk -v m="$median" -v t="$target" 'BEGIN { exit !(m < t) }' || verdict=OVER
    printf '%-30s %8.1f %8.1f %8.1f   < %3d %-3s  %s\n' "$name" "$min" "$median" "$max" \
        "$target" "$unit" "$verdict"
}

main() {
    trap finish EXIT
    trap 'exit 143' TERM
    [[ "$runs" =~ ^[1-9][0-9]*$ ]] || {
        echo "RUNS must be a positive whole number, not '$runs'" >&2
        exit 2
    }
    session_require_tools Xvfb xauth xdotool xev stdbuf pactl pulseaudio || exit 1
    [ -n "$binary" ] || binary="$(build_release)"
    if [ ! -x "$binary" ]; then
        echo "no desktop program at '$binary': build the target 'pelkora' (-DPELKORA_GUI=ON)" >&2
        exit 1
    fi
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-startup.XXXXXX")"
    session_start "$work"
    watch_maps
    mkdir -p "$work/sound"
    printf '[Paths]\nSoundDir=%s/sound/\n' "$work" >"$(session_profile)"

    local warm_up results="$work/results"
    measure_once "$work/warm-up"
    warm_up="$(cat "$work/warm-up")"
    for _ in $(seq "$runs"); do
        measure_once "$results"
    done

    echo "Start-up of $binary"
    echo "($runs runs after one warm-up; Xvfb, private sound server; $(nproc) CPUs," \
        "load average $(cut -d' ' -f1 /proc/loadavg))"
    printf '%-30s %8s %8s %8s   %-9s  %s\n' measure min median max target result
    cut -d' ' -f1 "$results" | summary 1000 | print_row "exec to main window (ms)" ms "$target_startup_ms"
    cut -d' ' -f2 "$results" | summary 1024 | print_row "resident memory VmRSS (MiB)" MiB "$target_rss_mib"
    echo "warm-up run: $((${warm_up% *} / 1000)) ms, $((${warm_up#* } / 1024)) MiB"
    [ -z "${PELKORA_BENCH_RAW:-}" ] || cp "$results" "$PELKORA_BENCH_RAW"
}

main
