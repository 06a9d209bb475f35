# shellcheck shell=bash
# A private desktop session for driving the real `pelkora` window: an X server
# (Xvfb with its own cookie), a sound server with a null sink
# (scripts/pulse-test-server.sh), a session bus, and a HOME, XDG_CONFIG_HOME,
# XDG_DATA_HOME and XDG_RUNTIME_DIR of its own (the program registers itself
# with the bus under XDG_DATA_HOME at every start). Nothing started here meets the user's desktop,
# sound server or settings. Sourced by tests/desktop/ and bench/startup/.
#
#   session_require_tools TOOL...  fails with the Debian packages to install
#   session_start DIR              starts everything under DIR, exports its env
#   session_profile                path of the program's pelkora.ini
#   session_launch BINARY          starts the program (pid: session_program_pid)
#   session_find_window SECONDS [REGEX]  prints the id of a mapped window
#   session_wait_exit PID SECONDS  waits for a child; its exit status, 124 on timeout
#   session_stop_program           SIGTERM, then SIGKILL, to the program
#   session_stop                   stops everything (safe twice, safe in a trap)

session_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
session_pulse_script="$session_root/scripts/pulse-test-server.sh"
session_dir=""
session_x_pid=""
session_bus_pid=""
session_program_pid=""

readonly session_main_window='^Pelkora'

# The Debian package that brings each tool, for the error message.
session_package_of() {
    case "$1" in
    Xvfb) echo xvfb ;;
    parecord | pactl) echo pulseaudio-utils ;;
    import) echo imagemagick ;;
    xev) echo x11-utils ;;
    stdbuf) echo coreutils ;;
    dbus-daemon) echo dbus ;;
    *) echo "$1" ;;
    esac
}

session_require_tools() {
    local tool missing=()
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool ($(session_package_of "$tool"))")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "missing tools: ${missing[*]}" >&2
        return 1
    fi
}

# 0 while PID runs; a zombie that its parent has not reaped yet has ended.
session_running() {
    local state
    state="$(sed -e 's/^.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)"
    [ -n "$state" ] && [ "$state" != Z ]
}

session_ended_within() {
    local pid="$1" deadline=$((SECONDS + $2))
    while session_running "$pid"; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            return 1
        fi
        sleep 0.05
    done
}

session_wait_exit() {
    local pid="$1"
    session_ended_within "$pid" "$2" || return 124
    local status=0
    wait "$pid" 2>/dev/null || status=$?
    return "$status"
}

session_kill() {
    local pid="$1"
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    if ! session_ended_within "$pid" 5; then
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}

# The server reads every cookie in its file; a client looks its own up by the
# display number, known only once the server has chosen one (-displayfd).
session_start_x() {
    local cookie display_file="$session_dir/x/display"
    mkdir -p "$session_dir/x"
    cookie="$(mcookie 2>/dev/null || od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
    export XAUTHORITY="$session_dir/x/Xauthority"
    : >"$XAUTHORITY"
    xauth -q -f "$XAUTHORITY" add :0 . "$cookie"
    # -noreset: a client that connects just as the last one has left would
    # otherwise meet a server in the middle of its reset and be refused.
    Xvfb -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -noreset -screen 0 1024x768x24 \
        3>"$display_file" >"$session_dir/x/xvfb.log" 2>&1 &
    session_x_pid=$!
    local deadline=$((SECONDS + 10))
    until [ -s "$display_file" ]; do
        if [ "$SECONDS" -ge "$deadline" ] || ! session_running "$session_x_pid"; then
            echo "Xvfb did not start; its log:" >&2
            tail -n 20 "$session_dir/x/xvfb.log" >&2
            return 1
        fi
        sleep 0.05
    done
    DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
    export DISPLAY
    xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"
}

# The program will talk D-Bus to a logging program: never on the user's bus.
session_start_bus() {
    if ! command -v dbus-daemon >/dev/null 2>&1; then
        unset DBUS_SESSION_BUS_ADDRESS
        return 0
    fi
    local socket="$session_dir/bus"
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$socket" \
        >"$session_dir/bus.log" 2>&1 &
    session_bus_pid=$!
    local deadline=$((SECONDS + 10))
    until [ -S "$socket" ]; do
        if [ "$SECONDS" -ge "$deadline" ] || ! session_running "$session_bus_pid"; then
            echo "the private session bus did not start; its log:" >&2
            tail -n 20 "$session_dir/bus.log" >&2
            return 1
        fi
        sleep 0.05
    done
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$socket"
}

session_start_sound() {
    "$session_pulse_script" start "$session_dir/pulse" || return 1
    eval "$("$session_pulse_script" env "$session_dir/pulse")"
}

session_start() {
    session_dir="$1"
    mkdir -p "$session_dir/home" "$session_dir/config/pelkora" "$session_dir/runtime"
    chmod 700 "$session_dir/runtime"
    export HOME="$session_dir/home" XDG_CONFIG_HOME="$session_dir/config"
    export XDG_DATA_HOME="$session_dir/data"
    export XDG_RUNTIME_DIR="$session_dir/runtime"
    # The real window on the X server, whatever the caller's session is.
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY SESSION_MANAGER
    session_start_x && session_start_bus && session_start_sound
}

session_profile() {
    echo "$XDG_CONFIG_HOME/pelkora/pelkora.ini"
}

session_launch() {
    "$1" </dev/null >>"$session_dir/pelkora.log" 2>&1 &
    session_program_pid=$!
}

# Polls rather than `xdotool search --sync`, which looks only twice a second.
session_find_window() {
    local deadline=$((SECONDS + $1)) pattern="${2:-$session_main_window}" id
    while true; do
        id="$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1)"
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        if [ "$SECONDS" -ge "$deadline" ]; then
            return 1
        fi
        sleep 0.02
    done
}

session_stop_program() {
    session_kill "$session_program_pid"
    session_program_pid=""
}

session_stop() {
    session_stop_program
    session_kill "$session_bus_pid"
    session_bus_pid=""
    session_kill "$session_x_pid"
    session_x_pid=""
    if [ -n "$session_dir" ] && [ -d "$session_dir/pulse" ]; then
        "$session_pulse_script" stop "$session_dir/pulse" || true
    fi
}
