#!/usr/bin/env bash
# The main command: builds everything optimised and plays the built-in scene through the sink, the
# effect and the mixer into the stand-in spatial renderer, then says where the results are.
# Arguments are passed on to scene_player (for example --scene FILE, --grant N, --realtime).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

out=scene-output
if ! build/release/bin/scene_player --out "$out" "$@"; then
    echo "The scene did not play (the reason is above). It needs the engine libraries of all" \
         "three plug-ins (ZvSpatialSink, SpatialEffectEngine, SpatialMixerFX) in the build." >&2
    exit 1
fi

name=$(ls -t "$out"/*-report.json | head -n 1 | xargs basename | sed 's/-report\.json$//')
cat <<TEXT
Scene played. In $out/:
  $name-7.1.4.wav    12 channels, 7.1.4 (FL FR FC LFE BL BR SL SR TFL TFR TBL TBR), 48 kHz float
  $name-binaural.wav  2 channels for headphones (MIT KEMAR HRTFs)
  $name-report.json   objects, voices, rings and audio-thread time per second
  $name.svg           the objects' paths from above and the 7.1.4 levels over time
Listen on headphones:  ffplay $out/$name-binaural.wav   (or aplay, or any audio player)
On a 7.1.4 system, play $name-7.1.4.wav as it is; look at the picture in any web browser.
TEXT
