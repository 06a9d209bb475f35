#!/bin/sh
# Builds the keyer engine benchmark in a Release tree (build-bench/ at the top
# of the repository) and runs it. Extra arguments go to the benchmark, e.g.
#   bench/run-bench.sh --benchmark_filter=Beacon
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"

generator=
if command -v ninja >/dev/null 2>&1; then
    generator="-G Ninja"
fi

# shellcheck disable=SC2086  # generator is one or two words on purpose
cmake -S "$root" -B "$build" $generator -DCMAKE_BUILD_TYPE=Release \
    -DPELKORA_BENCH=ON -DPELKORA_TESTS=OFF >/dev/null
cmake --build "$build" --target engine_bench

if [ ! -x "$build/bench/engine_bench" ]; then
    echo "run-bench.sh: engine_bench was not built (is libbenchmark-dev installed?)" >&2
    exit 1
fi
exec "$build/bench/engine_bench" "$@"
