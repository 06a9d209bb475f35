#!/usr/bin/env bash
# The PipeWire twin of pulse-test-server.sh: PipeWire with its PulseAudio
# service, as most Linux desktops run it, for the same sound-output tests. A null
# sink named pelkora_null (the default sink, 48 kHz stereo) and the PulseAudio
# socket at DIR/native; a private D-Bus session bus, PipeWire, WirePlumber and
# pipewire-pulse, with every file they write inside DIR.
#
#   pipewire-test-server.sh start DIR   starts it and waits until it answers
#   pipewire-test-server.sh stop DIR    stops every process it started
#   pipewire-test-server.sh env DIR     prints the line that points clients at it
#
# start and stop do nothing when the server already runs, or does not; start
# after a crash of one part stops the rest and starts afresh. With
# PELKORA_SERVER_OWNER=PID, a watchdog stops the server when that process ends,
# so that a test that crashes leaves nothing behind.
set -euo pipefail

usage() {
    echo "usage: $0 start|stop|env DIR" >&2
    exit 2
}
[ $# -eq 2 ] || usage
action="$1"
mkdir -p "$2"
dir="$(cd "$2" && pwd)"
socket="$dir/native"
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
log_file="$dir/server.log"
# server.pid holds the process the clients talk to, as with pulse-test-server.sh,
# so that killing it is a crash of the sound server.
readonly parts=(dbus pipewire wireplumber server)
readonly programs=(dbus-daemon pipewire wireplumber pipewire-pulse pactl)

readonly start_timeout_tenths=50
readonly stop_timeout_tenths=50

# Private home, runtime, configuration and state folders; no real-time
# scheduling through rtkit, which is not there (and needs no root here).
private_env=(HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config"
    XDG_STATE_HOME="$dir/state" XDG_DATA_HOME="$dir/data" DISABLE_RTKIT=1
    DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus" PIPEWIRE_RUNTIME_DIR="$dir/runtime"
    PULSE_SERVER="unix:$socket")

pid_file() {
    echo "$dir/$1.pid"
}

# A killed process whose parent never reaps it lingers as a zombie: not running.
alive() {
    local file pid state
    file="$(pid_file "$1")"
    [ -f "$file" ] || return 1
    pid="$(cat "$file")"
    state="$(sed -e 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | cut -c1)"
    [ -n "$state" ] && [ "$state" != Z ]
}

all_alive() {
    local part
    for part in "${parts[@]}"; do
        alive "$part" || return 1
    done
}

any_alive() {
    local part
    for part in "${parts[@]}" watchdog; do
        alive "$part" && return 0
    done
    return 1
}

# Ready once the null sink is the default, for pipewire-pulse and for
# WirePlumber alike: before that, a client would play on the dummy sink that
# pipewire-pulse creates while WirePlumber is starting, or have its stream
# failed by WirePlumber for want of a target ("Input/Output error").
answers() {
    env "${private_env[@]}" pactl info 2>/dev/null | grep -qx 'Default Sink: pelkora_null' &&
        env "${private_env[@]}" timeout 2 pw-metadata -n default 0 default.audio.sink 2>/dev/null |
        grep -q '"name":"pelkora_null"'
}

write_config() {
    mkdir -p "$dir/config/pipewire/pipewire.conf.d" "$dir/config/pipewire/pipewire-pulse.conf.d" \
        "$dir/config/wireplumber/main.lua.d" "$dir/config/wireplumber/bluetooth.lua.d"
    # The stock Dummy-Driver clocks the null sink in real time; the high
    # priorities make it the driver and WirePlumber's default sink.
    cat >"$dir/config/pipewire/pipewire.conf.d/pelkora-null-sink.conf" <<'CONFIG'
context.objects = [
    { factory = adapter
        args = {
            factory.name = support.null-audio-sink
            node.name = pelkora_null
            node.description = "Pelkora test sink"
            media.class = Audio/Sink
            audio.rate = 48000
            audio.position = [ FL FR ]
            object.linger = true
            priority.driver = 2000
            priority.session = 2000
            monitor.channel-volumes = true
        }
    }
]
CONFIG
    cat >"$dir/config/pipewire/pipewire-pulse.conf.d/pelkora-socket.conf" <<CONFIG
pulse.properties = {
    server.address = [ "unix:$socket" ]
}
CONFIG
    # No hardware: ALSA, cameras and Bluetooth stay untouched.
    cat >"$dir/config/wireplumber/main.lua.d/60-pelkora-no-devices.lua" <<'CONFIG'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
CONFIG
    cat >"$dir/config/wireplumber/bluetooth.lua.d/60-pelkora-no-bluetooth.lua" <<'CONFIG'
bluez_monitor.enabled = false
CONFIG
}

check_installed() {
    local program
    for program in "${programs[@]}"; do
        if ! command -v "$program" >/dev/null; then
            echo "$program is not installed (Debian packages pipewire pipewire-bin pipewire-pulse" \
                "wireplumber dbus pulseaudio-utils)" >&2
            exit 1
        fi
    done
}

# Waits until a part has made its socket; false when it died first or took too long.
socket_appears() {
    local part="$1" path="$2"
    for _ in $(seq "$start_timeout_tenths"); do
        [ -S "$path" ] && return 0
        alive "$part" || return 1
        sleep 0.05
    done
    return 1
}

# Each part starts straight from env, not through a function: $! must be the
# process itself. All write to the one log, in the order they start; PipeWire
# and its clients give up when the bus or PipeWire's socket is not there yet.
start_parts() {
    env "${private_env[@]}" dbus-daemon --session --nofork --nopidfile \
        --address="unix:path=$dir/bus" >>"$log_file" 2>&1 &
    echo $! >"$(pid_file dbus)"
    socket_appears dbus "$dir/bus" || return 0
    env "${private_env[@]}" pipewire >>"$log_file" 2>&1 &
    echo $! >"$(pid_file pipewire)"
    socket_appears pipewire "$dir/runtime/pipewire-0" || return 0
    env "${private_env[@]}" wireplumber >>"$log_file" 2>&1 &
    echo $! >"$(pid_file wireplumber)"
    env "${private_env[@]}" pipewire-pulse >>"$log_file" 2>&1 &
    echo $! >"$(pid_file server)"
}

# Stops the server when the owner ends; its own output goes nowhere, so that it
# never holds the test's output open.
start_watchdog() {
    local owner="${PELKORA_SERVER_OWNER:-}"
    if [ -z "$owner" ]; then
        return 0
    fi
    # shellcheck disable=SC2016  # expanded by the watchdog's own shell
    setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 0.5; done
        rm -f "$3/watchdog.pid"
        "$2" stop "$3"' watchdog "$owner" "$self" "$dir" </dev/null >/dev/null 2>&1 &
    echo $! >"$(pid_file watchdog)"
}

start_server() {
    if all_alive; then
        return 0
    fi
    stop_server
    check_installed
    if [ "$(id -u)" -eq 0 ]; then
        echo "warning: running the test sound server as root" >&2
    fi
    mkdir -p "$dir/home" "$dir/runtime" "$dir/state" "$dir/data"
    chmod 700 "$dir/runtime"
    write_config
    : >"$log_file"
    start_parts
    start_watchdog
    for _ in $(seq "$start_timeout_tenths"); do
        if answers; then
            return 0
        fi
        if ! all_alive; then
            break
        fi
        sleep 0.1
    done
    echo "the PipeWire test server did not answer; its log ($log_file):" >&2
    tail -n 20 "$log_file" >&2 || true
    stop_server
    exit 1
}

signal_parts() {
    local part
    for part in "${parts[@]}"; do
        if alive "$part"; then
            kill "-$1" "$(cat "$(pid_file "$part")")" 2>/dev/null || true
        fi
    done
}

stop_server() {
    local part
    # The watchdog holds nothing and, asleep, would take its time over SIGTERM.
    if alive watchdog; then
        kill -KILL "$(cat "$(pid_file watchdog)")" 2>/dev/null || true
    fi
    if any_alive; then
        signal_parts TERM
        for _ in $(seq "$stop_timeout_tenths"); do
            any_alive || break
            sleep 0.1
        done
        signal_parts KILL
    fi
    for part in watchdog "${parts[@]}"; do
        rm -f "$(pid_file "$part")"
    done
}

case "$action" in
start) start_server ;;
stop) stop_server ;;
env) echo "export PULSE_SERVER=unix:$socket" ;;
*) usage ;;
esac
