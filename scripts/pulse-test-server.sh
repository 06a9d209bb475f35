#!/usr/bin/env bash
# A private sound server for the sound-output tests: a null sink named
# pelkora_null (the default sink, 48 kHz, no rewinds, so what it renders is what
# its monitor records) and a native socket at DIR/native. Every file the server
# writes stays inside DIR, so it never meets the desktop's own server.
#
#   pulse-test-server.sh start DIR   starts it and waits until it answers
#   pulse-test-server.sh stop DIR    stops it
#   pulse-test-server.sh env DIR     prints the line that points clients at it
#
# start and stop do nothing when the server already runs, or does not.
set -euo pipefail

usage() {
    echo "usage: $0 start|stop|env DIR" >&2
    exit 2
}
[ $# -eq 2 ] || usage
action="$1"
mkdir -p "$2"
dir="$(cd "$2" && pwd)"
pid_file="$dir/server.pid"
socket="$dir/native"
log_file="$dir/server.log"

readonly start_timeout_tenths=50
readonly stop_timeout_tenths=50

# The server's private home, runtime and state folders, for it and for pactl.
private_env=(HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime/pulse"
    PULSE_STATE_PATH="$dir/state" PULSE_SERVER="unix:$socket")

# A killed server whose parent never reaps it lingers as a zombie: not running.
running() {
    local pid state
    [ -f "$pid_file" ] || return 1
    pid="$(cat "$pid_file")"
    state="$(sed -e 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | cut -c1)"
    [ -n "$state" ] && [ "$state" != Z ]
}

answers() {
    env "${private_env[@]}" pactl info >/dev/null 2>&1
}

write_config() {
    cat >"$dir/server.pa" <<CONFIG
load-module module-null-sink sink_name=pelkora_null norewinds=1 rate=48000
set-default-sink pelkora_null
load-module module-native-protocol-unix auth-anonymous=1 socket=$socket
CONFIG
}

start_server() {
    if running; then
        return 0
    fi
    if ! command -v pulseaudio >/dev/null; then
        echo "pulseaudio is not installed (Debian packages pulseaudio, pulseaudio-utils)" >&2
        exit 1
    fi
    if [ "$(id -u)" -eq 0 ]; then
        echo "warning: running the test sound server as root" >&2
    fi
    mkdir -p "$dir/home" "$dir/runtime/pulse" "$dir/state"
    chmod 700 "$dir/runtime" "$dir/runtime/pulse"
    write_config
    # Started straight from env, not through a function: $! must be the server itself.
    env "${private_env[@]}" pulseaudio --daemonize=no --exit-idle-time=-1 --use-pid-file=no -n \
        -F "$dir/server.pa" \
        >"$log_file" 2>&1 &
    echo $! >"$pid_file"
    for _ in $(seq "$start_timeout_tenths"); do
        if answers; then
            return 0
        fi
        if ! running; then
            break
        fi
        sleep 0.1
    done
    echo "the test sound server did not answer; its log ($log_file):" >&2
    tail -n 20 "$log_file" >&2 || true
    stop_server
    exit 1
}

stop_server() {
    if ! running; then
        rm -f "$pid_file"
        return 0
    fi
    local pid
    pid="$(cat "$pid_file")"
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq "$stop_timeout_tenths"); do
        if ! running; then
            break
        fi
        sleep 0.1
    done
    if running; then
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$pid_file"
}

case "$action" in
start) start_server ;;
stop) stop_server ;;
env) echo "export PULSE_SERVER=unix:$socket" ;;
*) usage ;;
esac
