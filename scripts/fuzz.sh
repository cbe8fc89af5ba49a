#!/usr/bin/env bash
# Builds the fuzzers (fuzz preset: clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each one: first over its regression inputs and seeds in fuzz/corpus/<fuzzer>/, then for a
# bounded time from them. Fails on the first finding, whose input libFuzzer leaves in the work
# folder (printed); a fixed finding goes into fuzz/corpus/<fuzzer>/ for good.
#
#   scripts/fuzz.sh [seconds per fuzzer, default 30] [fuzzer names...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
fuzzers=("$@")
if [ ${#fuzzers[@]} -eq 0 ]; then
    fuzzers=(param_block_fuzzer ring_model_fuzzer monitor_data_fuzzer resource_script_fuzzer)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

work=$(mktemp -d)
echo "fuzz work folder: $work"
for fuzzer in "${fuzzers[@]}"; do
    binary=build/fuzz/bin/$fuzzer
    corpus=fuzz/corpus/$fuzzer
    options=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/$fuzzer-")
    # Dialog scripts are short; longer texts only slow the reader's fuzzer down.
    if [ "$fuzzer" = resource_script_fuzzer ]; then
        options+=(-max_len=2048)
    fi
    if [ -f "fuzz/${fuzzer%_fuzzer}.dict" ]; then
        options+=(-dict="fuzz/${fuzzer%_fuzzer}.dict")
    fi
    echo "== $fuzzer"
    # The regression inputs, each once.
    if [ -d "$corpus" ] && [ -n "$(ls -A "$corpus")" ]; then
        "$binary" "${options[@]}" "$corpus"/* >"$work/$fuzzer-regression.log" 2>&1 || {
            tail -n 40 "$work/$fuzzer-regression.log"
            echo "$fuzzer fails on a regression input of $corpus"
            exit 1
        }
        echo "regression inputs: $(grep -c '^Executed' "$work/$fuzzer-regression.log") passed"
    fi
    # New inputs go to the work folder; the committed corpus is only read.
    mkdir -p "$work/$fuzzer"
    seeds=()
    [ -d "$corpus" ] && seeds=("$corpus")
    nice "$binary" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        "$work/$fuzzer" "${seeds[@]}" >"$work/$fuzzer.log" 2>&1 || {
        tail -n 40 "$work/$fuzzer.log"
        echo "$fuzzer found a fault; its input is in $work"
        exit 1
    }
    grep -E "stat::number_of_executed_units|stat::average_exec_per_sec" "$work/$fuzzer.log"
done
rm -rf "$work"
