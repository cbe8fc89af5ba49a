#!/usr/bin/env bash
# Times the scene player on the built-in scene in the release build (stepped pacing, as fast as
# it can): how many times faster than real time the whole run is, and the audio thread's time per
# host buffer as a share of the buffer's real-time budget. Also converts the picture to PNG, which
# proves that it opens as an image. Prints the figures and the machine they came from.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target scene_player >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The value of "key" inside the block that starts at the line matching "block".
value_in() {
    awk -v block="\"$2\"" -v key="\"$3\"" '
        index($0, block) { inside = 1 }
        inside && index($0, key) { gsub(/[",]/, "", $2); print $2; exit }' "$1"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
for run in $(seq 1 "$runs"); do
    build/release/bin/scene_player --out "$out" --name bench >/dev/null
    report=$out/bench-report.json
    speed=$(grep '"timesFasterThanRealTime"' "$report" | sed 's/[^0-9.]//g')
    wall=$(grep '"wallSeconds"' "$report" | sed 's/[^0-9.]//g')
    mean=$(value_in "$report" pluginCalls meanShareOfBudget)
    p99=$(value_in "$report" pluginCalls p99ShareOfBudget)
    max=$(value_in "$report" pluginCalls maxShareOfBudget)
    frame_mean=$(value_in "$report" wholeHostFrame meanShareOfBudget)
    echo "run $run: 10 s scene in ${wall} s = ${speed}x real time;" \
         "plug-in calls per host buffer: mean ${mean}, p99 ${p99}, max ${max} of the budget;" \
         "whole host frame: mean ${frame_mean} of the budget"
done
rsvg-convert -o "$out/bench.png" "$out/bench.svg"
echo "picture: $(file -b "$out/bench.png" 2>/dev/null || echo converted to PNG)"
