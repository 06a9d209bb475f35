#!/usr/bin/env bash
# Desktop latency benchmark: how long the desktop program `pelkora` takes from
# a macro key to the first sample on the sound server's sink, against
# pelkora-play with the same macro and one paplay, in one run. Under a private
# X server (Xvfb) and a private sound server (scripts/pulse-test-server.sh, or
# scripts/pipewire-test-server.sh for PipeWire's PulseAudio service; null sink
# pelkora_null at 48 kHz) whose monitor is recorded the whole time. The
# desktop program runs with a home of its own whose pelkora.ini binds F2 to
#   ~[tx]~[fA.wav]~[fB.wav]~[fC.wav]~[fD.wav]~[fE.wav]~[rx]
# over five 300 ms 16 kHz files, each at a level of its own, and measured are
#   (a) F2 pressed with XTest: from the key sent to the X server to the first sample
#   (b) `xdotool key F2`: from its exec to the first sample
#   (c) pelkora-play with the same macro: from its exec to the first sample
#   (d) paplay A.wav: from its exec to the first sample
# with the silences between the files, ROUNDS rounds on the idle machine and
# ROUNDS more with LOOPS busy loops on the cores; the medians are printed side
# by side. Not a test: it exits 2 when something could not be measured.
#
#   bench/desktop/run-desktop-bench.sh [--build-dir DIR] [--pelkora PATH] [--player PATH]
#                                      [--rounds N] [--load LOOPS]
#                                      [--server pulseaudio|pipewire|both] [--stamps FILE]
#
# Without --pelkora and --player it builds both in Release in the build folder
# (default build-desktopbench/ at the top of the repository); the measuring
# tool is built there too. It installs nothing: it says what is missing
# (scripts/install-deps.sh --tests installs it). LOOPS defaults to one per core.
# The commands' output goes to desktop-bench.log in the build folder.
# --stamps FILE appends each XTest press and its first sample on the sink
# (CLOCK_MONOTONIC seconds), to line up with timings taken inside the program
# (--pelkora may name a wrapper that starts it with such timings).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../tests/desktop/desktop-session.sh
source "$root/tests/desktop/desktop-session.sh"

build="$root/build-desktopbench"
pelkora=""
player=""
rounds=5
load="$(nproc)"
server="${PELKORA_SOUND_SERVER:-pulseaudio}"
stamps=()

readonly files=(A B C D E)
readonly levels_percent=(15 30 45 60 75)
readonly sound_seconds=0.3
readonly macro='~[tx]~[fA.wav]~[fB.wav]~[fC.wav]~[fD.wav]~[fE.wav]~[rx]'
readonly window_timeout_seconds=20

usage() {
    echo "usage: $0 [--build-dir DIR] [--pelkora PATH] [--player PATH] [--rounds N]" \
        "[--load LOOPS] [--server pulseaudio|pipewire|both] [--stamps FILE]" >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) [ $# -ge 2 ] || usage; build="$2"; shift 2 ;;
    --pelkora) [ $# -ge 2 ] || usage; pelkora="$2"; shift 2 ;;
    --player) [ $# -ge 2 ] || usage; player="$2"; shift 2 ;;
    --rounds) [ $# -ge 2 ] || usage; rounds="$2"; shift 2 ;;
    --load) [ $# -ge 2 ] || usage; load="$2"; shift 2 ;;
    --server) [ $# -ge 2 ] || usage; server="$2"; shift 2 ;;
    --stamps) [ $# -ge 2 ] || usage; stamps=(--stamps "$(realpath -m "$2")"); shift 2 ;;
    *) usage ;;
    esac
done
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage
[[ "$load" =~ ^[0-9]+$ ]] || usage

case "$server" in
pulseaudio) servers=(pulseaudio) ;;
pipewire) servers=(pipewire) ;;
both) servers=(pulseaudio pipewire) ;;
*) usage ;;
esac

# Everything missing at once, with the Debian package that brings it.
missing=()
need() {
    command -v "$1" >/dev/null 2>&1 || missing+=("$1 ($2)")
}
need cmake cmake
need pkg-config pkg-config
need Xvfb xvfb
need xauth xauth
need xdotool xdotool
need pactl pulseaudio-utils
need paplay pulseaudio-utils
need sox sox
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
if command -v pkg-config >/dev/null 2>&1 && ! pkg-config --exists xtst; then
    missing+=("the XTest library headers (libxtst-dev)")
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "run-desktop-bench.sh: missing: ${missing[*]}" >&2
    echo "  (scripts/install-deps.sh --tests installs them)" >&2
    exit 2
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ -z "$pelkora" ] || [ -z "$player" ]; then
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DPELKORA_GUI=ON -DPELKORA_TESTS=OFF -DPELKORA_BENCH=OFF >/dev/null
    cmake --build "$build" --target pelkora pelkora-play >&2
    pelkora="${pelkora:-$build/pelkora}"
    player="${player:-$build/pelkora-play}"
fi
for binary in "$pelkora" "$player"; do
    [ -x "$binary" ] || { echo "run-desktop-bench.sh: no program at '$binary'" >&2; exit 2; }
done
pelkora="$(cd "$(dirname "$pelkora")" && pwd)/$(basename "$pelkora")"
player="$(cd "$(dirname "$player")" && pwd)/$(basename "$player")"
# A pelkora.ini beside the program would be read instead of the bench's.
if [ -e "$(dirname "$pelkora")/pelkora.ini" ]; then
    echo "run-desktop-bench.sh: $(dirname "$pelkora")/pelkora.ini exists; the program" \
        "would read it instead of the bench's" >&2
    exit 2
fi
mkdir -p "$build"
cmake -S "$here" -B "$build/desktop-bench-tool" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    >/dev/null
cmake --build "$build/desktop-bench-tool" --target pelkora_desktop_bench >&2
tool="$build/desktop-bench-tool/pelkora_desktop_bench"

work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-desktop-bench.XXXXXX")"
bench_pid=""
server_script=""
server_dir=""
# shellcheck disable=SC2317  # run by the trap
finish() {
    local status=$?
    if [ -n "$bench_pid" ]; then
        kill -TERM "$bench_pid" 2>/dev/null || true
    fi
    session_stop_program
    if [ -n "$server_script" ]; then
        "$server_script" stop "$server_dir" || true
    fi
    session_stop
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

# The session of desktop-session.sh without its sound server: each run
# starts the kind it measures.
session_dir="$work"
mkdir -p "$work/home" "$work/config/pelkora" "$work/runtime" "$work/sounds"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
# The program registers itself with the bus here at every start.
export XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=xcb AUDIODRIVER=pulseaudio
unset WAYLAND_DISPLAY SESSION_MANAGER
session_start_x
session_start_bus

# Flat levels, no dither: the recording tells the files apart by level alone.
for index in "${!files[@]}"; do
    sox -D -r 16000 -c 1 -n -b 16 "$work/sounds/${files[$index]}.wav" \
        synth "$sound_seconds" sine 0 "${levels_percent[$index]}"
done
cat >"$(session_profile)" <<PROFILE
[Paths]
SoundDir=$work/sounds/
[Macroses]
Macro2=$macro
PROFILE

log="$build/desktop-bench.log"
: >"$log"
echo "pelkora: $pelkora"
echo "pelkora-play: $player"
echo "$(nproc) cores, $(uname -sr); $(paplay --version | head -n1); Xvfb on $DISPLAY"

# One whole benchmark on a fresh sound server of the given kind, with the
# desktop program started on it; returns the tool's status.
run_on() {
    server_script="$root/scripts/pulse-test-server.sh"
    server_dir="$work/server-$1"
    if [ "$1" = pipewire ]; then
        server_script="$root/scripts/pipewire-test-server.sh"
    fi
    # Called in a condition, where set -e does not hold: each step checks itself.
    "$server_script" start "$server_dir" || return 2
    eval "$("$server_script" env "$server_dir")"
    echo
    echo "sound server: $(pactl info | sed -n 's/^Server Name: //p')"
    echo "== $1 ==" >>"$log"
    session_launch "$pelkora"
    local window
    if ! window="$(session_find_window "$window_timeout_seconds")"; then
        echo "no main window within ${window_timeout_seconds} s; the program's output:" >&2
        tail -n 20 "$work/pelkora.log" >&2
        return 2
    fi
    # In the background, so that Ctrl+C or a TERM stops it at once, through the trap.
    "$tool" --player "$player" --sounds "$work/sounds" --log "$log" --window "$window" \
        --key F2 --rounds "$rounds" --load "$load" "${stamps[@]}" &
    bench_pid=$!
    local result=0
    wait "$bench_pid" || result=$?
    bench_pid=""
    session_stop_program
    "$server_script" stop "$server_dir"
    server_script=""
    return "$result"
}

status=0
for name in "${servers[@]}"; do
    result=0
    run_on "$name" || result=$?
    if [ "$result" -gt "$status" ]; then
        status=$result
    fi
done
exit "$status"
