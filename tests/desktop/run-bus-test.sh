#!/usr/bin/env bash
# The desktop program on the session bus as another program meets it: the
# real `pelkora` on a private X server and bus answers a property read and
# hides and shows its window on request; then, with the bus address pointing
# nowhere, it starts all the same and says why in its diagnostic log.
#
#   run-bus-test.sh PELKORA_BINARY
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

finish() {
    session_finish $?
}

keyer() {
    timeout 10 dbus-send --session --print-reply --dest="$service" "$object" "$@"
}

wait_hidden() {
    local deadline=$((SECONDS + 5))
    while session_find_window 0 >/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

check_on_the_bus() {
    "$binary" DEBUG </dev/null >>"$work/pelkora.log" 2>&1 &
    session_program_pid=$!
    session_find_window 20 >/dev/null || fail "no window named Pelkora was mapped within 20 s"
    local width
    width="$(keyer org.freedesktop.DBus.Properties.Get string:"$service" string:Width |
        sed -n 's/.*int32 //p')" || fail "the Width property did not answer"
    [ "${width:-0}" -gt 0 ] || fail "the Width property read '$width'"
    keyer "$service.Hide" >/dev/null || fail "Hide did not answer"
    wait_hidden || fail "the main window is still mapped after Hide"
    keyer "$service.Show" >/dev/null || fail "Show did not answer"
    session_find_window 5 >/dev/null || fail "the main window did not come back after Show"
    grep -q "on the session bus" "$(session_debug_log)" ||
        fail "the log does not say the keyer is on the bus"
    session_stop_program
}

check_without_a_bus() {
    rm -f "$(dirname "$(session_profile)")"/pelkora*.log
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus-here" "$binary" DEBUG </dev/null \
        >>"$work/pelkora.log" 2>&1 &
    session_program_pid=$!
    session_find_window 20 >/dev/null ||
        fail "without a session bus no window named Pelkora was mapped within 20 s"
    if session_find_window 0 '^Error$' >/dev/null; then
        fail "an Error box came up without a session bus"
    fi
    grep -q "no session bus" "$(session_debug_log)" || fail "the log does not say there is no bus"
    session_stop_program
}

main() {
    if [ -z "$binary" ] || [ ! -x "$binary" ]; then
        fail "no desktop program at '${binary}': build the target 'pelkora' and pass its path"
    fi
    session_require_tools Xvfb xauth xdotool pactl pulseaudio dbus-daemon dbus-send || exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-bus.XXXXXX")"
    trap finish EXIT
    session_start "$work" || fail "the private desktop session did not start"
    check_on_the_bus
    check_without_a_bus
    echo "PASS: the keyer answered on the session bus, and started and logged without one"
}

main
