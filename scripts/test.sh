#!/usr/bin/env bash
# Builds and runs the whole test suite: every test under AddressSanitizer and
# UndefinedBehaviorSanitizer built by g++ and again by clang (each compiler's warnings are
# errors), the concurrency tests under ThreadSanitizer, then the Windows build run under Wine
# (scripts/windows-test.sh; ZV_SKIP_WINDOWS=1 skips it for a quick local run; its 32-bit runs are
# skipped, and say so, where this machine runs no 32-bit programs), the fuzzers for a bounded time
# and the benchmarks once in their short mode.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in default clang tsan; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

scripts/windows-test.sh

# The fuzzers (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer): their regression
# inputs, then 30 seconds each.
echo "== fuzz"
scripts/fuzz.sh 30

# The benchmarks once, briefly: they keep building and running (their figures: bench/run.sh).
echo "== bench"
bench/run.sh --quick
