#!/usr/bin/env bash
# Builds the frame pipeline benchmark in a Release build (build-bench/) and prints its table.
# Extra arguments go to the benchmark, e.g. --benchmark_filter=Tick --benchmark_repetitions=5.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing libbenchmark-dev
pelnor_build "$PELNOR_ROOT/build-bench" -DCMAKE_BUILD_TYPE=Release -DPELNOR_BENCH=ON
exec "$PELNOR_ROOT/build-bench/bin/pelnor-bench" --benchmark_counters_tabular=true "$@"
