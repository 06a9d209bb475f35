#!/usr/bin/env bash
# The keyboard hook as an operator meets it: the real `pelkora` window on a
# private X server, Setup > Set keyboard hook checked through the menu, and
# F5 typed into another program's window plays macro 5 once. Other keys are
# counted but play nothing; F5 in the keyer's own window plays once, not
# twice; unchecked, the other window's F5 plays nothing; armed again, the
# program still closes at once through File > Exit.
#
#   run-hook-test.sh PELKORA_BINARY
#
# The plays are read from the diagnostic log (the program runs with DEBUG),
# which names a file twice as it plays: when it is looked at and when it has
# started. The hook library must lie beside the
# program. PELKORA_KEEP_WORK=1 keeps the work folder.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=desktop-session.sh
source "$here/desktop-session.sh"

# Without a closing ~[rx]: a second macro queued while the first plays
# (a stroke fired twice) must play too, not wait for the transmitter.
readonly macro5='~[tx]~[f5.wav]'
# Long enough for a second play of a double fire to have started and been
# logged: the file lasts 0.2 s.
readonly settle_seconds=1.5

binary="${1:-}"
work=""
other_pid=""
main_window=""
other_window=""

finish() {
    session_finish $? "$other_pid"
}

check_binary() {
    session_check_binary "$binary"
    [ -e "$(dirname "$binary")/libpelkorahook.so" ] ||
        fail "no libpelkorahook.so beside $binary: build the target 'pelkorahook'"
}

write_sound_and_profile() {
    mkdir -p "$work/sound"
    sox -D -n -r 16000 -c 1 -b 16 "$work/sound/5.wav" synth 0.2 sine 800 vol 0.5
    cat >"$(session_profile)" <<PROFILE
[Paths]
SoundDir=$work/sound/
[Macroses]
Macro5=$macro5
PROFILE
}

plays() {
    local log
    log="$(session_debug_log)"
    [ -n "$log" ] || fail "the program wrote no diagnostic log"
    local lines
    lines="$(grep -c 'WaveRes.*/5\.wav' "$log" || true)"
    echo $((lines / 2))
}

# Waits for the count to reach EXPECTED, then long enough to see a second
# play that should not be there.
expect_plays() {
    local expected="$1" what="$2" deadline=$((SECONDS + 5))
    while [ "$(plays)" -lt "$expected" ] && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.05
    done
    sleep "$settle_seconds"
    local count
    count="$(plays)"
    [ "$count" -eq "$expected" ] || fail "$what: macro 5 played $count times in all, expected $expected"
    echo "ok: $what ($count plays in all)"
}

# A real key stroke (XTEST), seen by the whole display, into WINDOW.
type_into() {
    xdotool windowfocus --sync "$1"
    xdotool key "$2"
}

# Setup is the second menu; the hook is its last item.
toggle_hook() {
    xdotool windowfocus --sync "$main_window"
    xdotool key alt+s
    sleep 0.3
    xdotool key Up Return
    sleep 0.3
}

close_through_dialog() {
    local status=0
    session_exit_through_menu "$main_window" || status=$?
    [ "$status" -ne 124 ] || fail "with the hook armed the program still runs 10 s after the close"
    [ "$status" -eq 0 ] || fail "with the hook armed the program exited with status $status"
    echo "ok: armed, the program closed at once"
}

main() {
    session_traps finish
    check_binary
    session_require_tools Xvfb xauth xdotool xmessage sox pactl pulseaudio || exit 1
    work="$(mktemp -d "${TMPDIR:-/tmp}/pelkora-hook.XXXXXX")"
    session_start "$work" || fail "the private desktop session did not start"
    write_sound_and_profile

    session_launch "$binary" DEBUG
    main_window="$(session_find_window 20)" || fail "no window named Pelkora was mapped within 20 s"
    xmessage -title hook-target "keys for the hook" >/dev/null 2>&1 &
    other_pid=$!
    other_window="$(session_find_window 10 '^hook-target$')" || fail "xmessage did not map"

    type_into "$other_window" F5
    expect_plays 0 "hook off: F5 in another window"
    toggle_hook
    type_into "$other_window" F5
    expect_plays 1 "hook on: F5 in another window"
    type_into "$other_window" a
    expect_plays 1 "hook on: a letter in another window"
    type_into "$other_window" F5
    expect_plays 2 "hook on: F5 again after a letter"
    type_into "$main_window" F5
    expect_plays 3 "hook on: F5 in the keyer's own window"
    toggle_hook
    type_into "$other_window" F5
    expect_plays 3 "hook unchecked: F5 in another window"
    toggle_hook
    type_into "$other_window" F5
    expect_plays 4 "hook armed again: F5 in another window"
    close_through_dialog
    echo "PASS: the keyboard hook played F5 from another window once per stroke, and let go"
}

main
