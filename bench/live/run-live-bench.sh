#!/usr/bin/env bash
# Live playback benchmark: pelkora-play against what a Linux operator would
# otherwise use, on one private sound server (scripts/pulse-test-server.sh, or
# scripts/pipewire-test-server.sh for PipeWire's PulseAudio service; null sink
# pelkora_null at 48 kHz) whose monitor is recorded the whole time.
# Five 300 ms 16 kHz 16-bit mono files, each at a level of its own, are played
# back to back by
#   (a) pelkora-play '~[tx]~[fA.wav]...~[fE.wav]~[rx]'
#   (b) a shell loop running paplay once per file
#   (c) sox's play with all five files in one call
#   (d) one paplay of one file, the latency reference
# and the figures are the latency from exec to the first sample on the sink,
# the silences between files and the span; then (e) the CPU that pelkora-play
# uses while keyed and pausing for ten seconds, and (f) its peak resident
# memory. Each of ROUNDS rounds (default 3) runs every command once; the
# goals are judged on the median. Not a test: it prints the figures against
# the goals, and exits 1 when a goal was not met, 2 when it could not measure.
#
#   bench/live/run-live-bench.sh [--build-dir DIR] [--player PATH] [--rounds N]
#                                [--server pulseaudio|pipewire|both]
#
# --server chooses the sound server (default: $PELKORA_SOUND_SERVER, else
# pulseaudio); both runs the whole benchmark on PulseAudio, then on PipeWire,
# each with a server of its own, and exits with the worse status.
#
# Without --player it builds pelkora-play in Release in the build folder
# (default build-livebench/ at the top of the repository). The commands'
# output goes to live-bench.log in the build folder.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-livebench"
player=""
rounds=3
server="${PELKORA_SOUND_SERVER:-pulseaudio}"

readonly files=(A B C D E)
readonly levels_percent=(15 30 45 60 75)
readonly sound_seconds=0.3

usage() {
    echo "usage: $0 [--build-dir DIR] [--player PATH] [--rounds N]" \
        "[--server pulseaudio|pipewire|both]" >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) [ $# -ge 2 ] || usage; build="$2"; shift 2 ;;
    --player) [ $# -ge 2 ] || usage; player="$2"; shift 2 ;;
    --rounds) [ $# -ge 2 ] || usage; rounds="$2"; shift 2 ;;
    --server) [ $# -ge 2 ] || usage; server="$2"; shift 2 ;;
    *) usage ;;
    esac
done

case "$server" in
pulseaudio) servers=(pulseaudio) ;;
pipewire) servers=(pipewire) ;;
both) servers=(pulseaudio pipewire) ;;
*) usage ;;
esac

need() {
    if ! command -v "$1" >/dev/null; then
        echo "run-live-bench.sh: $1 is not installed (Debian package $2)" >&2
        exit 2
    fi
}
for name in "${servers[@]}"; do
    if [ "$name" = pulseaudio ]; then
        need pulseaudio pulseaudio
    else
        need pipewire pipewire-bin
        need pipewire-pulse pipewire-pulse
        need wireplumber wireplumber
        need dbus-daemon dbus
    fi
done
need paplay pulseaudio-utils
need sox sox
need play sox
# sox reaches the sound server only through its pulseaudio driver.
if ! sox -h 2>&1 | grep -q '^AUDIO DEVICE DRIVERS:.*pulseaudio'; then
    echo "run-live-bench.sh: sox has no pulseaudio driver (Debian package libsox-fmt-pulse)" >&2
    exit 2
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ -z "$player" ]; then
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DPELKORA_TESTS=OFF -DPELKORA_BENCH=OFF >/dev/null
    cmake --build "$build" --target pelkora-play >&2
    player="$build/pelkora-play"
fi
player="$(cd "$(dirname "$player")" && pwd)/$(basename "$player")"
cmake -S "$here" -B "$build/live-bench-tool" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/live-bench-tool" >&2

work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-live-bench.XXXXXX")"
bench_pid=""
server_script=""
# shellcheck disable=SC2317  # run by the trap
finish() {
    local status=$?
    if [ -n "$bench_pid" ]; then
        kill -TERM "$bench_pid" 2>/dev/null || true
    fi
    if [ -n "$server_script" ]; then
        "$server_script" stop "$work/server" || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

# A home of its own: no pelkora.ini or client.conf of this machine takes part.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" AUDIODRIVER=pulseaudio
mkdir -p "$XDG_CONFIG_HOME" "$work/sounds"

# Flat levels, no dither: the recording tells the files apart by level alone.
for index in "${!files[@]}"; do
    sox -D -r 16000 -c 1 -n -b 16 "$work/sounds/${files[$index]}.wav" \
        synth "$sound_seconds" sine 0 "${levels_percent[$index]}"
done

log="$build/live-bench.log"
: >"$log"
echo "pelkora-play: $player"
echo "$(nproc) cores, $(uname -sr); sox $(sox --version | sed 's/.*v//'), $(paplay --version | head -n1)"

# One whole benchmark on a fresh server of the given kind; returns the tool's status.
run_on() {
    server_script="$root/scripts/pulse-test-server.sh"
    if [ "$1" = pipewire ]; then
        server_script="$root/scripts/pipewire-test-server.sh"
    fi
    # Called in a condition, where set -e does not hold: each step checks itself.
    "$server_script" start "$work/server" || return 2
    eval "$("$server_script" env "$work/server")"
    echo
    echo "sound server: $(pactl info | sed -n 's/^Server Name: //p')"
    echo "== $1 ==" >>"$log"
    # Other work on the machine moves the figures: the load says how much.
    echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
    # In the background, so that Ctrl+C or a TERM stops it at once, through the trap.
    "$build/live-bench-tool/pelkora_live_bench" --player "$player" --sounds "$work/sounds" \
        --log "$log" --rounds "$rounds" &
    bench_pid=$!
    local result=0
    wait "$bench_pid" || result=$?
    bench_pid=""
    echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$server_script" stop "$work/server"
    server_script=""
    return "$result"
}

status=0
for name in "${servers[@]}"; do
    result=0
    run_on "$name" || result=$?
    # 2 (could not measure) outweighs 1 (a goal missed).
    if [ "$result" -gt "$status" ]; then
        status=$result
    fi
done
exit "$status"
