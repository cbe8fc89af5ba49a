// An SVG picture of a run: on the left each voice's own path seen from above (the listener in the
// middle facing up, right to the right), solid while the voice sounded on a dynamic object and
// dashed while it was mixed into the bed, with the 7.1.4 speakers for orientation; on the right
// the level of each 7.1.4 channel over time (RMS in dB); below, a legend that names every voice
// in its colour with its route over the scene's time.
#pragma once

#include <string>

#include "SceneDescription.h"
#include "SceneRunResult.h"

namespace scene {

std::string BuildPicture(const std::string& in_title, const SceneSpec& in_scene,
                         const SceneRunResult& in_result);

// The colour of voice in_uVoice in the picture and the page.
const char* VoiceColour(size_t in_uVoice);

}  // namespace scene
