#!/usr/bin/env bash
# pelkora-ctl as a logger runs it, against the real `pelkora` on a private X
# server, session bus and sound server: `play` spells the call (the files are
# heard on the null sink, in order in the keyer's log), `monitor` prints the
# transmit and pause changes as they happen and ends with 3 when the keyer
# leaves, `geometry` round-trips, the Python example plays a macro; then 3
# with no keyer, and 5 with no bus.
#
#   run-ctl-test.sh PELKORA_BINARY PELKORA_CTL_BINARY [PYTHON]
#
# PYTHON (default /usr/bin/python3) runs examples/pelkora_client.py when it
# has dbus_next; otherwise that step is skipped with a note.
# Exit status 0 when all of it holds; otherwise it says what failed.
# PELKORA_KEEP_WORK=1 keeps the work folder (logs, recording, settings).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=desktop-session.sh
source "$here/desktop-session.sh"

readonly spelled=(D L 1 A B C)
readonly macro='~[tx]~[ec]~[rx]'

binary="${1:-}"
ctl="${2:-}"
python="${3:-/usr/bin/python3}"
work=""
monitor_pid=""
recorder_pid=""

session_failure_files=(pelkora.log monitor.out monitor.err)

finish() {
    session_finish $? "$monitor_pid" "$recorder_pid"
}

# Waits up to SECONDS for FILE to hold a line matching REGEX.
wait_for_line() {
    local file="$1" pattern="$2" deadline=$((SECONDS + $3))
    until [ -f "$file" ] && grep -qE "$pattern" "$file"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# Runs pelkora-ctl; fails unless it exits with EXPECTED. Its errors go to ctl.err.
ctl_expect() {
    local expected="$1" status=0
    shift
    timeout 20 "$ctl" "$@" >"$work/ctl.out" 2>"$work/ctl.err" || status=$?
    [ "$status" -eq "$expected" ] ||
        fail "pelkora-ctl $* exited with $status, expected $expected: $(cat "$work/ctl.err")"
}

write_sound_and_profile() {
    local name
    mkdir -p "$work/sound"
    for name in "${spelled[@]}"; do
        sox -D -n -r 16000 -c 1 -b 16 "$work/sound/$name.wav" synth 0.12 sine 600 vol 0.5
    done
    printf '[Paths]\nSoundDir=%s/sound/\n' "$work" >"$(session_profile)"
}

start_keyer() {
    session_launch "$binary" DEBUG
    session_find_window 20 >/dev/null || fail "no window named Pelkora was mapped within 20 s"
    local deadline=$((SECONDS + 10))
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.pelkora.Pelkora | grep -q 'boolean true'; do
        [ "$SECONDS" -lt "$deadline" ] || fail "the keyer did not take its name on the bus"
        sleep 0.05
    done
}

# The monitor has subscribed once the bus holds a match rule for State from it;
# with no way to ask for that, a State it prints is the proof. Control codes
# are not echoed on State: the TX toggle is.
start_monitor() {
    # Appended, so that the file can be emptied under it. No stdbuf: monitor
    # flushes each line itself, which this checks too (and stdbuf's preload
    # would come before a sanitizer's runtime).
    "$ctl" monitor >>"$work/monitor.out" 2>"$work/monitor.err" &
    monitor_pid=$!
    local deadline=$((SECONDS + 10))
    until grep -q '^111 tx-on$' "$work/monitor.out"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "monitor printed no '111 tx-on' after tx on"
        ctl_expect 0 tx on
        ctl_expect 0 tx off
        sleep 0.2
    done
    wait_for_line "$work/monitor.out" '^110 tx-off$' 5 || fail "monitor printed no '110 tx-off'"
    : >"$work/monitor.out"
}

start_recorder() {
    parecord -d pelkora_null.monitor --raw --format=s16le --rate=48000 --channels=1 \
        "$work/rec.raw" 2>"$work/parecord.log" &
    recorder_pid=$!
}

check_play_spells_the_call() {
    start_recorder
    ctl_expect 0 play "$macro" --call DL1ABC --rs 59
    wait_for_line "$work/monitor.out" '^110 tx-off$' 15 ||
        fail "the transmitter was not released after the spelled call"
    session_kill "$recorder_pid"
    recorder_pid=""
    local played expected
    # The keyer names a file when it times it and when it plays it.
    played="$(grep -oE 'sound/[A-Z0-9]+\.wav' "$(session_debug_log)" | uniq | sed 's|sound/||; s|\.wav||' |
        tr '\n' ' ')"
    expected="${spelled[*]} "
    [ "$played" = "$expected" ] || fail "played '$played', expected '$expected'"
    local peak
    peak="$(sox -t raw -r 48000 -e signed -b 16 -c 1 "$work/rec.raw" -n stat 2>&1 |
        awk -F: '/Maximum amplitude/ { gsub(/ /, "", $2); print $2 }')"
    awk -v p="${peak:-0}" 'BEGIN { exit !(p > 0.2) }' || fail "nothing was heard (peak ${peak:-none})"
    grep -qx '111 tx-on' "$work/monitor.out" || fail "monitor did not print '111 tx-on' for play"
    echo "play: spelled $played, heard peak $peak"
}

check_monitor_tx() {
    : >"$work/monitor.out"
    ctl_expect 0 tx on
    wait_for_line "$work/monitor.out" '^111 tx-on$' 5 || fail "monitor printed no '111 tx-on'"
    ctl_expect 0 tx off
    wait_for_line "$work/monitor.out" '^110 tx-off$' 5 || fail "monitor printed no '110 tx-off'"
    local lines
    lines="$(tr '\n' ',' <"$work/monitor.out")"
    # Releasing the transmitter releases the pause first.
    [ "$lines" = "111 tx-on,100 resumed,110 tx-off," ] ||
        fail "monitor printed '$lines' for tx on, tx off"
    echo "monitor: $lines"
}

check_geometry() {
    ctl_expect 0 geometry
    read -r left top width height <"$work/ctl.out" || fail "geometry printed '$(cat "$work/ctl.out")'"
    if [ "${width:-0}" -le 0 ] || [ "${height:-0}" -le 0 ]; then
        fail "geometry printed '$left $top $width $height'"
    fi
    local wanted="$((left + 17)) $((top + 9)) $((width + 40)) $((height + 20))"
    # shellcheck disable=SC2086 # four numbers
    ctl_expect 0 geometry $wanted
    local deadline=$((SECONDS + 5))
    while true; do
        ctl_expect 0 geometry
        [ "$(cat "$work/ctl.out")" != "$wanted" ] || break
        [ "$SECONDS" -lt "$deadline" ] || fail "geometry reads '$(cat "$work/ctl.out")' after setting '$wanted'"
        sleep 0.1
    done
    echo "geometry: $left $top $width $height -> $wanted"
}

check_python_example() {
    if ! "$python" -c 'import dbus_next' 2>/dev/null; then
        echo "note: $python has no dbus_next (python3-dbus-next): the example was not run"
        return 0
    fi
    local out status=0
    out="$(timeout 30 "$python" "$root/examples/pelkora_client.py" '~[tx]~[ec]~[rx]' --call AB \
        --timeout 15 2>&1)" || status=$?
    [ "$status" -eq 0 ] || fail "the Python example exited with $status: $out"
    case "$(echo "$out" | tr '\n' ',')" in
    "111 tx-on,"*"110 tx-off,") ;;
    *) fail "the Python example printed '$out'" ;;
    esac
    echo "python example: $(echo "$out" | tr '\n' ',')"
}

check_keyer_gone() {
    session_stop_program
    local status=0
    session_wait_exit "$monitor_pid" 10 || status=$?
    monitor_pid=""
    [ "$status" -eq 3 ] || fail "monitor exited with $status when the keyer left, expected 3"
    grep -q 'left the session bus' "$work/monitor.err" || fail "monitor said '$(cat "$work/monitor.err")'"
    ctl_expect 3 show
    grep -qx 'pelkora-ctl: no keyer is running on the session bus (org.pelkora.Pelkora)' \
        "$work/ctl.err" || fail "with no keyer it said '$(cat "$work/ctl.err")'"
    ctl_expect 3 monitor
    status=0
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus-here" timeout 20 "$ctl" play '~[tx]' \
        2>"$work/ctl.err" || status=$?
    [ "$status" -eq 5 ] || fail "with no bus play exited with $status, expected 5"
    grep -q 'no session bus' "$work/ctl.err" || fail "with no bus it said '$(cat "$work/ctl.err")'"
}

main() {
    [ -x "$binary" ] || fail "no desktop program at '$binary'"
    [ -x "$ctl" ] || fail "no pelkora-ctl at '$ctl'"
    root="$(cd "$here/../.." && pwd)"
    session_require_tools Xvfb xauth xdotool sox parecord pactl pulseaudio dbus-daemon \
        dbus-send || exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-ctl.XXXXXX")"
    trap finish EXIT
    session_start "$work" || fail "the private desktop session did not start"
    write_sound_and_profile
    start_keyer
    start_monitor
    check_play_spells_the_call
    check_monitor_tx
    check_geometry
    check_python_example
    check_keyer_gone
    echo "PASS: pelkora-ctl played, monitored and placed the keyer, and failed as documented"
}

main
