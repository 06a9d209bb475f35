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
#   session_debug_log              path of the diagnostic log DEBUG wrote ("" if none)
#   session_launch BINARY [ARG...] starts the program (pid: session_program_pid)
#   session_find_window SECONDS [REGEX]  prints the id of a mapped window
#   session_wait_exit PID SECONDS  waits for a child; its exit status, 124 on timeout
#   session_stop_program           SIGTERM, then SIGKILL, to the program
#   session_stop                   stops everything (safe twice, safe in a trap)
#
# For the test scripts:
#   fail MESSAGE...                prints "FAIL: MESSAGE" and exits 1
#   session_traps FUNCTION         FUNCTION at exit; INT and TERM end the script
#   session_finish STATUS [PID...] the end of a script's exit trap: kills the
#                                  PIDs, shows the files of session_failure_files
#                                  (under the work folder) on a failure, stops the
#                                  session, keeps the work folder when
#                                  PELKORA_KEEP_WORK=1, exits with STATUS
#   session_check_binary BINARY [HINT]  an executable without a pelkora.ini beside it
#   session_press_key WINDOW KEY   focuses WINDOW and sends KEY to it
#   session_exit_through_menu WINDOW  File > Exit, the Confirm box answered;
#                                  returns the program's status (124: still runs)
#   session_ini_value FILE SECTION KEY  prints the value; fails when absent
#   session_stat_of WAV NAME       a figure of `sox stat` ("Maximum amplitude")
#   session_within VALUE LOW HIGH  true when LOW <= VALUE <= HIGH (decimals)
#   session_keyer_in_server        what of the keyer the sound server still holds

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

session_debug_log() {
    find "$(dirname "$(session_profile)")" -maxdepth 1 -name 'pelkora*.log' | head -n 1
}

session_launch() {
    "$@" </dev/null >>"$session_dir/pelkora.log" 2>&1 &
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

# ---------------------------------------------------------------- test scripts

# Files of the work folder shown when a script fails.
session_failure_files=(pelkora.log)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

session_traps() {
    # shellcheck disable=SC2064 # the function's name, taken now
    trap "$1" EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

session_finish() {
    local status="$1" pid file
    shift
    for pid in "$@"; do
        session_kill "$pid"
    done
    if [ "$status" -ne 0 ] && [ -n "$session_dir" ]; then
        for file in "${session_failure_files[@]}"; do
            if [ -s "$session_dir/$file" ]; then
                echo "--- $file:" >&2
                tail -n 30 "$session_dir/$file" >&2
            fi
        done
    fi
    session_stop
    if [ "${PELKORA_KEEP_WORK:-0}" = 1 ]; then
        echo "work folder kept: $session_dir" >&2
    elif [ -n "$session_dir" ]; then
        rm -rf "$session_dir"
    fi
    exit "$status"
}

session_check_binary() {
    local binary="$1" hint="build the target 'pelkora' and pass its path"
    [ $# -lt 2 ] || hint="${*:2}"
    if [ -z "$binary" ] || [ ! -x "$binary" ]; then
        fail "no desktop program at '${binary}': $hint"
    fi
    # A pelkora.ini beside the program would be read instead of the test's.
    if [ -e "$(dirname "$binary")/pelkora.ini" ]; then
        fail "$(dirname "$binary")/pelkora.ini exists: the program would use it, not the test's"
    fi
}

session_press_key() {
    xdotool windowfocus --sync "$1"
    xdotool key --window "$1" "$2"
}

session_exit_through_menu() {
    local window="$1" confirm
    session_press_key "$window" alt+f
    xdotool key x
    confirm="$(session_find_window 5 '^Confirm$')" || fail "File > Exit did not ask for confirmation"
    xdotool windowfocus --sync "$confirm"
    # Sent to the focused window, not to the dialog: it is gone before the key is up.
    xdotool key Return
    local status=0
    session_wait_exit "$session_program_pid" 10 || status=$?
    [ "$status" -eq 124 ] || session_program_pid=""
    return "$status"
}

session_ini_value() {
    awk -F= -v section="[$2]" -v key="$3" '
        /^\[/ { inside = ($0 == section); next }
        inside && $1 == key { print substr($0, length(key) + 2); found = 1; exit }
        END { exit !found }' "$1"
}

session_stat_of() {
    sox "$1" -n stat 2>&1 | awk -F: -v name="$2" '$1 ~ name { gsub(/ /, "", $2); print $2 }'
}

session_within() {
    awk -v value="$1" -v low="$2" -v high="$3" 'BEGIN { exit !(value >= low && value <= high) }'
}

session_keyer_in_server() {
    pactl list short clients | awk '$3 == "pelkora"' | grep -q . && echo "a client named pelkora"
    pactl list short sink-inputs | grep -q . && echo "sink-inputs: $(pactl list short sink-inputs)"
    pactl list short source-outputs | grep -q . &&
        echo "source-outputs: $(pactl list short source-outputs)"
    return 0
}
