#!/usr/bin/env bash
# The desktop program registered with the session bus and started by it: on
# a private X server and bus with a private XDG_DATA_HOME,
# - `pelkora -REGSERVER` writes the bus's activation file and ends at once,
#   without a display;
# - a client's call starts the keyer through that file, in automation mode;
#   a client that creates an object and leaves ends that keyer;
# - a keyer started with -AUTOMATION whose last object goes ends by itself
#   with status 0 and the transmitter released (the State signals say so),
#   though a one-shot call had keyed it through the main object;
# - `-UNREGSERVER` removes the file, and a services folder that cannot be
#   made ends -REGSERVER with the error and a non-zero status.
#
#   run-activation-test.sh PELKORA_BINARY
#
# Exit status 0 when all of it holds; otherwise it says what failed.
# PELKORA_KEEP_WORK=1 keeps the work folder (logs, settings).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=desktop-session.sh
source "$here/desktop-session.sh"

readonly service=org.pelkora.Pelkora
readonly object=/org/pelkora/Pelkora

binary="${1:-}"
work=""
monitor_pid=""

session_failure_files=(pelkora.log bus.log)

# A keyer the bus started is not our child: it is ended by its pid.
finish() {
    session_finish $? "$monitor_pid" "${activated_pid:-}"
}

service_file() {
    echo "$XDG_DATA_HOME/dbus-1/services/$service.service"
}

call() {
    timeout 30 gdbus call --session --dest "$service" --object-path "$object" --method "$@"
}

# The pid of the keyer holding the name; fails while none does.
keyer_pid() {
    timeout 10 gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetConnectionUnixProcessID "$service" 2>/dev/null |
        sed -n 's/^(uint32 \([0-9]*\),)$/\1/p'
}

wait_gone() {
    local pid="$1" deadline=$((SECONDS + $2))
    while [ -e "/proc/$pid" ] && session_running "$pid"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

check_register_without_display() {
    local status=0
    env -u DISPLAY -u XAUTHORITY -u WAYLAND_DISPLAY -u PULSE_SERVER -u DBUS_SESSION_BUS_ADDRESS \
        QT_QPA_PLATFORM=xcb timeout 10 "$binary" -REGSERVER >"$work/register.out" 2>&1 ||
        status=$?
    [ "$status" -eq 0 ] || fail "-REGSERVER without a display ended with $status: $(cat "$work/register.out")"
    [ -s "$(service_file)" ] || fail "-REGSERVER wrote no $(service_file)"
    local expected
    expected="$(printf '[D-BUS Service]\nName=%s\nExec=%s -AUTOMATION' "$service" \
        "$(readlink -f "$binary")")"
    [ "$(cat "$(service_file)")" = "$expected" ] ||
        fail "the activation file reads: $(cat "$(service_file)")"
}

# The bus starts the keyer for a call; the keyer ends with the object of a
# client that left.
check_started_by_the_bus() {
    local pid
    call "$service.Show" >/dev/null || fail "the bus did not start the keyer for a call"
    pid="$(keyer_pid)"
    [ -n "$pid" ] || fail "nobody holds $service after the call"
    activated_pid="$pid"
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- '-AUTOMATION' ||
        fail "the keyer was not started in automation mode: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    session_find_window 20 >/dev/null || fail "the started keyer mapped no window"
    # One-shot: the object's client leaves as soon as it has the answer.
    call "$service.Server.CreateObject" | grep -q "/org/pelkora/Pelkora/Object/" ||
        fail "CreateObject gave no object"
    wait_gone "$pid" 20 || fail "the keyer went on after the last object's client left"
    activated_pid=""
}

check_automation_end() {
    dbus-monitor --session "type='signal',interface='$service',member='State'" \
        >"$work/states.log" 2>&1 &
    monitor_pid=$!
    "$binary" -AUTOMATION </dev/null >>"$work/pelkora.log" 2>&1 &
    session_program_pid=$!
    session_find_window 20 >/dev/null || fail "the keyer started with -AUTOMATION mapped no window"
    # Keyed by a one-shot call on the main object: the client's end does not
    # release it, the keyer's does.
    call "$service.StartPlay" >/dev/null || fail "StartPlay did not answer"
    call "$service.Server.CreateObject" >/dev/null || fail "CreateObject did not answer"
    local status=0
    session_wait_exit "$session_program_pid" 20 || status=$?
    [ "$status" = 0 ] || fail "the keyer ended with status '$status' after its last object went"
    session_program_pid=""
    sleep 0.2
    session_kill "$monitor_pid"
    monitor_pid=""
    local codes
    codes="$(sed -n 's/^ *int32 //p' "$work/states.log" | tr '\n' ' ')"
    [[ "$codes" == "111 "*"110 " ]] ||
        fail "the transmitter was not released at the end; State codes heard: '$codes'"
}

check_unregister_and_failure() {
    "$binary" -UNREGSERVER || fail "-UNREGSERVER ended with $?"
    [ ! -e "$(service_file)" ] || fail "-UNREGSERVER left $(service_file)"
    "$binary" -unregserver || fail "-UNREGSERVER without a file ended with $?"

    mkdir -p "$work/blocked"
    : >"$work/blocked/dbus-1"
    local status=0
    XDG_DATA_HOME="$work/blocked" "$binary" /RegServer 2>"$work/blocked.err" || status=$?
    [ "$status" -ne 0 ] || fail "-REGSERVER into a blocked folder ended with 0"
    grep -q "^Unable to register $service: $work/blocked/dbus-1/services/$service.service: " \
        "$work/blocked.err" || fail "-REGSERVER's error reads: $(cat "$work/blocked.err")"
}

main() {
    if [ -z "$binary" ] || [ ! -x "$binary" ]; then
        fail "no desktop program at '${binary}': build the target 'pelkora' and pass its path"
    fi
    session_require_tools Xvfb xauth xdotool pactl pulseaudio dbus-daemon gdbus dbus-monitor ||
        exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-activation.XXXXXX")"
    trap finish EXIT
    session_start "$work" || fail "the private desktop session did not start"
    # A keyer the bus starts finds the sound server as one started here does.
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.UpdateActivationEnvironment \
        "{'PULSE_SERVER': '$PULSE_SERVER', 'QT_QPA_PLATFORM': 'xcb'}" >/dev/null ||
        fail "the bus took no activation environment"
    check_register_without_display
    check_started_by_the_bus
    check_automation_end
    check_unregister_and_failure
    echo "PASS: registered without a display, started by the bus, ended with the last object"
}

main
