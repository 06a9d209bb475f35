#!/usr/bin/env bash
# pelkora-ctl against pelkora-play for a logger's voice message: the real
# `pelkora` runs on a private X server, session bus and sound server (the
# desktop tests' session), and pelkora_ctl_bench measures, idle and with every
# core busy, the PlayMacros round trip over the bus and, from exec to the first
# sample on the null sink, `pelkora-ctl play` and a fresh `pelkora-play` with
# the same macro and sound. Not a test: it prints median, p90 and max, and
# exits 1 when pelkora-ctl was not the sooner, 2 when it could not measure.
#
#   bench/ctl/run-ctl-bench.sh BUILD_DIR [ROUNDS]
#
# BUILD_DIR is a configured build tree with the desktop program and
# PELKORA_BENCH; the four targets are built there first. A Release tree gives
# the figures an operator meets.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=../../tests/desktop/desktop-session.sh
source "$root/tests/desktop/desktop-session.sh"

build="${1:-}"
rounds="${2:-10}"
if [ -z "$build" ] || [ ! -d "$build" ]; then
    echo "usage: $0 BUILD_DIR [ROUNDS]" >&2
    exit 2
fi
build="$(cd "$build" && pwd)"
cmake --build "$build" --target pelkora pelkora-ctl pelkora-play pelkora_ctl_bench >/dev/null
session_require_tools Xvfb xauth xdotool sox pactl pulseaudio dbus-daemon dbus-send || exit 2

work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-ctlbench.XXXXXX")"
# shellcheck disable=SC2317 # runs from the trap
finish() {
    local status=$?
    session_stop
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT
session_start "$work" || exit 2

mkdir -p "$work/sounds"
# Flat at one level, so that the sink's recording shows where it starts.
sox -D -r 16000 -c 1 -n -b 16 "$work/sounds/A.wav" synth 0.3 sine 0 60
printf '[Paths]\nSoundDir=%s/sounds/\n' "$work" >"$(session_profile)"
session_launch "$build/pelkora"
session_find_window 20 >/dev/null || {
    echo "run-ctl-bench.sh: the keyer's window did not come up" >&2
    exit 2
}
deadline=$((SECONDS + 10))
until "$build/pelkora-ctl" geometry >/dev/null 2>&1; do
    if [ "$SECONDS" -ge "$deadline" ]; then
        echo "run-ctl-bench.sh: the keyer is not on the bus" >&2
        exit 2
    fi
    sleep 0.1
done

echo "$(nproc) cores, $(uname -sr); build $(grep -m1 CMAKE_BUILD_TYPE "$build/CMakeCache.txt" | cut -d= -f2)"
status=0
"$build/bench/ctl/pelkora_ctl_bench" "$build/pelkora-ctl" "$build/pelkora-play" "$work/sounds" \
    "$work/commands.log" "$rounds" "$(nproc)" || status=$?
exit "$status"
