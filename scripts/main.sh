#!/usr/bin/env bash
# The main command: builds everything optimised and plays the built-in scene through the sink, the
# effect and the mixer into the stand-in spatial renderer; the player then says where the results
# are and how to listen. Arguments are passed on to scene_player (for example --scene FILE,
# --grant N, --realtime); relative paths in them, and the default output folder scene-output/,
# are taken from where the command runs. ZV_SCENE_PLAYER names a scene_player to run instead of
# building one (the tests use it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

player=${ZV_SCENE_PLAYER:-}
if [ -z "$player" ]; then
    (
        cd "$root"
        scripts/install-deps.sh
        cmake --preset release >/dev/null
        cmake --build --preset release -j "$(nproc)"
    )
    player="$root/build/release/bin/scene_player"
fi

status=0
"$player" --out scene-output "$@" || status=$?
case $status in
    0) ;;
    2) echo "The scene was not played: the arguments or the scene are at fault (see above)." >&2 ;;
    3) echo "The scene was not played: the build lacks a plug-in library (see above); the" \
            "player needs ZvSpatialSink, SpatialEffectEngine and SpatialMixerFX and the" \
            "design-tool libraries, all made by the release build in $root/build/release." >&2 ;;
    *) echo "The scene did not play (exit $status; the reason is above)." >&2 ;;
esac
exit $status
