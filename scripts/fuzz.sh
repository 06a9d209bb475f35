#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, with ASan and UBSan) in their
# own build tree and runs each for SECONDS (default 60): first the saved
# inputs of fuzz/regressions/<target>/, then fuzzing from the seeds of
# fuzz/corpus/<target>/ and the corpus grown by earlier runs.
#
#     scripts/fuzz.sh [SECONDS]
#
# Prints executions and findings per target and exits 1 when any target
# found something: the input is kept in build/fuzz/findings/<target>/; add it
# to fuzz/regressions/<target>/ once the fault is understood.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh --tests

seconds="${1:-60}"
dir="${PELKORA_FUZZ_DIR:-build/fuzz}"
targets=(keyer ini wav)
# Longest input per target: a macro and a few dozen operator actions; a
# settings file; a short recording (longer ones only decode slower).
declare -A max_len=([keyer]=2048 [ini]=8192 [wav]=16384)

echo "== building the fuzzers in $dir"
# The shared warning flags include GCC's -Wno-restrict, unknown to clang.
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-Wno-unknown-warning-option -DPELKORA_FUZZ=ON -DPELKORA_WERROR=ON \
    -DPELKORA_TESTS=OFF -DPELKORA_GUI=OFF -DPELKORA_BENCH=OFF >/dev/null
cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"

# Leaks are checked too; a finding stops the target at once.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
summary=()
failed=0
for target in "${targets[@]}"; do
    binary="$dir/fuzz/fuzz_$target"
    corpus="$dir/corpus/$target"
    findings="$dir/findings/$target"
    log="$dir/fuzz-$target.log"
    mkdir -p "$corpus" "$findings"
    options=(-max_len="${max_len[$target]}" -rss_limit_mb=2048 -timeout=25
             -print_final_stats=1 -artifact_prefix="$findings/")
    if [ -f "fuzz/$target.dict" ]; then
        options+=(-dict="fuzz/$target.dict")
    fi

    status=ok
    : >"$dir/regressions-$target.log"
    for input in fuzz/regressions/"$target"/*; do
        [ -e "$input" ] || continue
        # One at a time: libFuzzer stops at the first input that fails.
        if ! "$binary" "${options[@]}" "$input" >>"$dir/regressions-$target.log" 2>&1; then
            echo "== $target: saved input $input still fails:"
            grep -E "Invariant broken|ERROR:|SUMMARY:" "$dir/regressions-$target.log" | tail -n 3
            status="a saved input still fails (see $dir/regressions-$target.log)"
        fi
    done

    echo "== $target: fuzzing for $seconds s"
    if ! "$binary" "${options[@]}" -max_total_time="$seconds" "$corpus" "fuzz/corpus/$target" \
        >"$log" 2>&1; then
        grep -E "Invariant broken|ERROR:|SUMMARY:|Test unit written" "$log" | tail -n 5
        status="finding in $findings (see $log)"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    summary+=("$(printf '%-6s %10s executions %7s/s  %s' "$target" "${runs:-?}" "${rate:-?}" "$status")")
    [ "$status" = ok ] || failed=1
done

echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
