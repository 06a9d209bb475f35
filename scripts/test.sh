#!/usr/bin/env bash
# Sets everything up and runs every test: a normal build with warnings as
# errors, then the same tests built with AddressSanitizer and
# UndefinedBehaviourSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh --tests

run_suite() {
    local dir="$1"
    shift
    echo "== building $dir"
    scripts/build.sh "$dir" -DPELKORA_WERROR=ON "$@"
    echo "== testing $dir"
    ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 300
}

run_suite build/test -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DPELKORA_SANITIZE=ON -DPELKORA_BENCH=OFF
