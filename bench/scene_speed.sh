#!/usr/bin/env bash
# Times the scene player on the built-in scene in the release build (stepped pacing, as fast as
# it can), several runs in a row so that they share the machine's load:
#   - the run (first host frame until both WAV files are shut: plug-ins, renderer steps, listener
#     mix, files) as times faster than real time, from the report, with the processor time the
#     process spent in it (all threads), which other work on the machine moves far less;
#   - the set-up before it (libraries, HRTF set, plug-ins started) and the whole process;
#   - the audio thread's time per host buffer as a share of the buffer's real-time budget: the
#     plug-ins' calls and the whole host frame (mean, 99th percentile, max).
# Also converts the picture to PNG, which proves that it opens as an image. Prints the machine the
# figures came from and its load, since other work on a shared machine slows every figure.
#
# With a second player (BASELINE: another build's scene_player, e.g. main's copied aside with the
# libraries beside it), each run of this build is followed by a run of that one, so that both
# share the same minutes of the machine's load, and the ratio of their medians is printed.
#
# With BUSY=N in the environment, N CPU-bound loops run beside the player for the whole
# measurement, as other work on a shared machine would; they start BUSY_WARMUP seconds (default
# 60) before the first run, so that the load average printed shows them.
#
#   bench/scene_speed.sh [RUNS] [BASELINE]     (default 5 runs, no baseline)
#   BUSY=1 bench/scene_speed.sh 11 BASELINE    (the same beside one busy core)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
baseline=${2:-}
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target scene_player >/dev/null

out=$(mktemp -d)
busy_pids=()
cleanup() {
    for pid in "${busy_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$out"
}
trap cleanup EXIT
busy=${BUSY:-0}
if ((busy > 0)); then
    for _ in $(seq 1 "$busy"); do
        (while :; do :; done) &
        busy_pids+=($!)
    done
    echo "$busy CPU-bound loop(s) beside the runs; waiting ${BUSY_WARMUP:-60} s for the load average"
    sleep "${BUSY_WARMUP:-60}"
fi

# The value of "key" inside the block that starts at the line matching "block".
value_in() {
    awk -v block="\"$2\"" -v key="\"$3\"" '
        index($0, block) { inside = 1 }
        inside && index($0, key) { gsub(/[",]/, "", $2); print $2; exit }' "$1"
}
number() {
    grep -m1 "\"$2\"" "$1" | sed 's/[^0-9.]//g'
}

model=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
echo "machine: $model, $(nproc) cores; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
speeds=()
base_speeds=()
for run in $(seq 1 "$runs"); do
    begin=$(date +%s.%N)
    build/release/bin/scene_player --out "$out" --name bench >/dev/null 2>&1
    end=$(date +%s.%N)
    report=$out/bench-report.json
    speed=$(number "$report" timesFasterThanRealTime)
    speeds+=("$speed")
    wall=$(number "$report" wallSeconds)
    processor=$(number "$report" processorSeconds)
    setup=$(number "$report" setupSeconds)
    process=$(awk -v a="$begin" -v b="$end" 'BEGIN { print b - a }')
    duration=$(number "$report" durationSeconds)
    printf 'run %d: run %.3f s = %sx real time (processor %.3f s); set-up %.3f s; whole process %.3f s = %.1fx; load %s\n' \
        "$run" "$wall" "$speed" "$processor" "$setup" "$process" \
        "$(awk -v d="$duration" -v p="$process" 'BEGIN { print d / p }')" "$(cut -d' ' -f1 /proc/loadavg)"
    printf '       audio thread per host buffer, share of its budget: plug-in calls mean %s,' \
        "$(value_in "$report" pluginCalls meanShareOfBudget)"
    printf ' p99 %s, max %s; whole frame mean %s, p99 %s, max %s\n' \
        "$(value_in "$report" pluginCalls p99ShareOfBudget)" \
        "$(value_in "$report" pluginCalls maxShareOfBudget)" \
        "$(value_in "$report" wholeHostFrame meanShareOfBudget)" \
        "$(value_in "$report" wholeHostFrame p99ShareOfBudget)" \
        "$(value_in "$report" wholeHostFrame maxShareOfBudget)"
    if [[ -n "$baseline" ]]; then
        "$baseline" --out "$out" --name base >/dev/null 2>&1
        base_speeds+=("$(number "$out/base-report.json" timesFasterThanRealTime)")
        printf '       baseline: run %.3f s = %sx real time (processor %.3f s); load %s\n' \
            "$(number "$out/base-report.json" wallSeconds)" "${base_speeds[-1]}" \
            "$(number "$out/base-report.json" processorSeconds)" "$(cut -d' ' -f1 /proc/loadavg)"
    fi
done
median() {
    printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"
}
sorted=$(printf '%s\n' "${speeds[@]}" | sort -g)
echo "times faster than real time over $runs runs: median $(median "${speeds[@]}")," \
     "best $(echo "$sorted" | tail -n 1), worst $(echo "$sorted" | head -n 1)"
if [[ -n "$baseline" ]]; then
    echo "baseline over the same $runs runs: median $(median "${base_speeds[@]}");" \
         "ratio of the medians $(awk -v a="$(median "${speeds[@]}")" -v b="$(median "${base_speeds[@]}")" \
                                   'BEGIN { printf "%.2f", a / b }')"
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
rsvg-convert -o "$out/bench.png" "$out/bench.svg"
echo "picture: $(file -b "$out/bench.png" 2>/dev/null || echo converted to PNG)"
