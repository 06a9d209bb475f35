#!/usr/bin/env bash
# Sets everything up and runs every test: a normal build with warnings as
# errors, then the same tests built with AddressSanitizer and
# UndefinedBehaviourSanitizer, then the sound-backend tests built with
# ThreadSanitizer (the libpulse thread and the loop thread meet there), and
# last a minute of fuzzing per fuzz target (scripts/fuzz.sh).
# Each phase prints how long it took.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh --tests

durations=()
phase() {
    local name="$1"
    shift
    local start=$SECONDS
    "$@"
    durations+=("$(printf '%-10s %4d s' "$name" $((SECONDS - start)))")
    echo "== $name took $((SECONDS - start)) s"
}

# The live sound tests hold gaps and latencies to a few milliseconds; on a
# small virtual machine a stretch of stolen time now and then makes one miss
# by tens of milliseconds. A failed test runs once more, alone; a second
# failure fails the phase.
run_suite() {
    local dir="$1"
    shift
    echo "== building $dir"
    scripts/build.sh "$dir" -DPELKORA_WERROR=ON "$@"
    echo "== testing $dir"
    if ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 300; then
        return 0
    fi
    echo "== the failed tests run once more, one at a time"
    ctest --test-dir "$dir" --rerun-failed --output-on-failure --timeout 300
}

# The AddressSanitizer suite. The sanitizer slows the code about twice, and on
# a small virtual machine a PipeWire stream then drops out for a moment now and
# then, so a test that misses a timing limit gets one more run; a sanitizer
# report, or a second miss, fails the phase.
run_asan_suite() {
    local dir="$1"
    shift
    local log="$dir/asan-tests.log"
    echo "== building $dir"
    scripts/build.sh "$dir" -DPELKORA_WERROR=ON "$@"
    echo "== testing $dir"
    if ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 300 \
        2>&1 | tee "$log"; then
        return 0
    fi
    if grep -qE 'ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:' "$log"; then
        echo "== a sanitizer report: the phase fails"
        return 1
    fi
    echo "== no sanitizer report; the failed tests run once more"
    ctest --test-dir "$dir" --rerun-failed --output-on-failure --timeout 300
}

# The sound backend's tests, the live player's and the Hamlib devices' (a
# worker thread per rig): the rest of the program has no second thread. The
# PulseAudio set only (names without a server prefix): the races in question
# do not depend on the server. The sanitizer slows the code 5 to 15 times, so
# the tests' latency and gap limits can fail here; this phase fails on a
# ThreadSanitizer report (or a crash or a hang) only, and names the tests that
# missed a limit. The normal and AddressSanitizer phases hold the tests to
# their limits.
run_tsan() {
    local dir=build/tsan
    local log="$dir/tsan-tests.log"
    echo "== building $dir"
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELKORA_WERROR=ON \
        -DPELKORA_TSAN=ON -DPELKORA_GUI=OFF -DPELKORA_BENCH=OFF >/dev/null
    cmake --build "$dir" --parallel "$(nproc)" --target pulse_tests hamlib_tests
    echo "== testing $dir"
    local status=0
    local suppressions="$root/scripts/tsan-libpulse.supp"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$suppressions" \
        ctest --test-dir "$dir" --output-on-failure --timeout 600 \
        -R '^(PulseSoundOutputTest|LivePlay|RigctldPttTest|SilentRigctldTest|CatRigTest|RigWorkerThreadTest|ClosablePosterTest)\.' \
        >"$log" 2>&1 || status=$?
    grep -E '^ *[0-9]+/[0-9]+ Test|tests passed' "$log" || true
    if grep -qE 'ThreadSanitizer|Exception: SegFault|Child aborted|\*\*\*Timeout' "$log"; then
        grep -E -A40 'WARNING: ThreadSanitizer|ERROR: ThreadSanitizer' "$log" | head -n 120 || true
        echo "== ThreadSanitizer found a problem; the whole output is in $log"
        return 1
    fi
    if [ "$status" -ne 0 ]; then
        echo "== no race reported; the failures above missed timing limits under the sanitizer"
    fi
}

phase normal run_suite build/test -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    phase asan-ubsan run_asan_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DPELKORA_SANITIZE=ON \
    -DPELKORA_BENCH=OFF
phase tsan run_tsan
phase fuzz scripts/fuzz.sh 60

echo "== durations"
printf '%s\n' "${durations[@]}"
