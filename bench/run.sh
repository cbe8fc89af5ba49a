#!/usr/bin/env bash
# Builds the release preset's plug-in benchmarks, runs them and prints the table of their times
# and their ratios to a plain copy of the same bytes, with the machine they ran on.
#
#   bench/run.sh            3 repetitions of every case, the table of their medians; exits with 1
#                           when a median ratio misses its target
#   bench/run.sh --quick    one short run of every case (the CI's check that they build and run)
# Further arguments go to plugin_bench (e.g. --benchmark_filter=Sink).
set -euo pipefail
cd "$(dirname "$0")/.."

arguments=(--benchmark_repetitions=3 --benchmark_report_aggregates_only=true --check_targets)
if [ "${1:-}" = "--quick" ]; then
    shift
    arguments=(--benchmark_min_time=0.01 --ratio_rounds=3)
fi

cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target plugin_bench >/dev/null

model=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
echo "machine: ${model:-unknown CPU}, $(nproc) cores, $(uname -sr)"
build/release/bin/plugin_bench --benchmark_color=false "${arguments[@]}" "$@"
