#!/usr/bin/env bash
# The main command: builds the optimised programs and runs plugin_inspect, which loads the sink's
# engine library as the host engine would and drives its parameter object.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target plugin_inspect
build/release/bin/plugin_inspect
