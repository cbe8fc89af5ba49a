// An SVG picture of a run: on the left the dynamic objects' paths seen from above (the listener
// in the middle facing up, +x to the right, -z up), with the 7.1.4 speakers for orientation; on
// the right the level of each 7.1.4 channel over time (RMS in dB).
#pragma once

#include <string>

#include "SceneRunResult.h"

namespace scene {

std::string BuildPicture(const std::string& in_title, const SceneRunResult& in_result);

}  // namespace scene
