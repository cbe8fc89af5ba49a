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
//
// A key the format does not know is refused (with the nearest known key as a suggestion), and so
// is a key given twice in one object; so are values that cannot mean anything: gains above
// +40 dB, frequencies at or above half the sample rate, sweep periods shorter than a sample,
// times that are not finite, an end before its start.
#pragma once

#include <string>
#include <vector>

#include "SceneDescription.h"

namespace scene {

// Parses in_text; in_baseDirectory resolves relative WAV paths. False with out_error saying
// where and why when the text is not a valid scene (a JSON fault with its line and column).
bool ParseScene(const std::string& in_text, const std::string& in_baseDirectory,
                SceneSpec& out_scene, std::string& out_error);

// Reads and parses the file at in_path.
bool LoadSceneFile(const std::string& in_path, SceneSpec& out_scene, std::string& out_error);

// What must hold across the scene's parts once every setting is known (command-line overrides
// included): a duration that covers a host buffer and a renderer pass, voices that start and end
// inside sensible bounds, at most kMaxVoices voices. False with out_error for what cannot be
// played; out_warnings gets what plays but probably not as meant (a voice that starts after the
// scene's end).
bool CheckScene(const SceneSpec& in_scene, std::vector<std::string>& out_warnings,
                std::string& out_error);

// Whether in_name can name the output files: one path component, no control characters. False
// with out_error saying why.
bool CheckOutputName(const std::string& in_name, std::string& out_error);

// The speaker mask of a layout name ("stereo", "7.1.4", ...), or 0 for an unknown name.
uint32_t LayoutMaskFromName(const std::string& in_name);

constexpr size_t kMaxVoices = 256;
// +40 dB: any gain above it is a mistake in the scene, not a level.
constexpr double kMaxGain = 100.0;

}  // namespace scene
