// Reads a scene from JSON. The format (every key optional unless marked):
//
// {
//   "name": "demo", "duration": 10.0, "seed": 1,
//   "renderer": {"grant": 8, "frameCount": 480},
//   "host": {"sampleRate": 48000, "framesPerBuffer": 512, "bufferCount": 2},
//   "sink": {"directGain": 1.0, "channelConfig": 3},
//   "mixer": {"bypass": false, "maxObjects": 32},
//   "music": {"layout": "stereo"},                 // "mono", "stereo", "5.1", "7.1" or "7.1.4"
//   "voices": [{                                   // required
//     "name": "bee",
//     "source": {"type": "tone", "frequency": 440} // or "frequencies": [440, 550] per channel
//             | {"type": "noise"}
//             | {"type": "sweep", "from": 100, "to": 4000, "period": 2}
//             | {"type": "wav", "file": "voice.wav"},   // relative to the scene file
//     "channels": 1, "gain": 0.5, "start": 0, "end": 10,
//     "route": "mixer",                            // "mixer", "music" or "master"
//     "bypassLocal": false,
//     "trajectory": [{"time": 0, "azimuth": 0, "elevation": 0, "distance": 2}, ...]
//   }]
// }
#pragma once

#include <string>

#include "SceneDescription.h"

namespace scene {

// Parses in_text; in_baseDirectory resolves relative WAV paths. False with out_error saying
// where and why when the text is not a valid scene.
bool ParseScene(const std::string& in_text, const std::string& in_baseDirectory,
                SceneSpec& out_scene, std::string& out_error);

// Reads and parses the file at in_path.
bool LoadSceneFile(const std::string& in_path, SceneSpec& out_scene, std::string& out_error);

// The speaker mask of a layout name ("stereo", "7.1.4", ...), or 0 for an unknown name.
uint32_t LayoutMaskFromName(const std::string& in_name);

}  // namespace scene
