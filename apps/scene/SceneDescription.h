// What a scene plays: its voices (a signal, a route into the engine, a gain and a trajectory), the
// plug-ins' properties as the design tool would hold them, and the renderer and host settings.
// Built by SceneFile from JSON, or by DefaultScene.
//
// Angles are in degrees: azimuth 0 straight ahead, positive to the right (towards the renderer's
// +x); elevation positive upwards. Distances are in metres.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scene {

enum class SignalKind { Tone, Noise, Sweep, WavFile };

struct SignalSpec {
    SignalKind eKind = SignalKind::Tone;
    // Tone: one frequency per channel (the last one repeats for further channels).
    std::vector<double> frequencies = {440.0};
    // Sweep: exponential from fStartHz to fEndHz over fPeriodSeconds, then again.
    double fStartHz = 100.0;
    double fEndHz = 4000.0;
    double fPeriodSeconds = 2.0;
    // Noise: white, from a generator seeded with the voice's index and the scene's seed.
    // WavFile: read whole through libsndfile, resampled to the scene's rate.
    std::string wavPath;
};

// The engine bus a voice plays into.
enum class VoiceRoute {
    Mixer,   // an input of the mixer bus: a dynamic object, or the bus's own mix
    Music,   // the music bus, which carries the spatial effect
    Master,  // straight into the final mix, which the sink plays
};

struct TrajectoryPoint {
    double fTime = 0.0;  // seconds from the scene's start
    double fAzimuth = 0.0;
    double fElevation = 0.0;
    double fDistance = 1.0;
};

struct VoiceSpec {
    std::string name;
    SignalSpec signal;
    uint32_t uChannels = 1;  // 1 or 2
    double fGain = 0.5;      // linear, the engine's base volume of the voice
    double fStart = 0.0;     // seconds
    double fEnd = -1.0;      // seconds; negative: the end of the scene
    VoiceRoute eRoute = VoiceRoute::Mixer;
    // The attachment's "BypassLocal" property (mixer voices): true keeps the voice off the objects.
    bool bBypassLocal = false;
    // Linear in time between points, held before the first and after the last. Empty: straight
    // ahead at 1 m.
    std::vector<TrajectoryPoint> trajectory;
};

struct SceneSpec {
    std::string name = "scene";
    double fDurationSeconds = 10.0;
    uint32_t uSeed = 1;

    // Renderer: the default endpoint's dynamic-object grant and frames per pass.
    uint32_t uGrant = 8;
    uint32_t uRendererFrames = 480;

    // Host engine.
    uint32_t uSampleRate = 48000;
    uint16_t uHostFrames = 512;  // frames per host buffer
    uint16_t uSinkBufferCount = 2;

    // Design-tool properties.
    float fSinkDirectGain = 1.0f;    // "DirectGain"
    int32_t iSinkChannelConfig = 3;  // "ChannelConfig": 0 stereo, 1 5.1, 2 7.1, 3 7.1.4
    bool bMixerBypass = false;       // "Bypass"
    int32_t iMixerMaxObjects = 32;   // "MaxObjects"
    uint32_t uMusicBusMask = 0x3;    // speaker mask of the music bus (stereo)

    std::vector<VoiceSpec> voices;
};

// A scene of about ten seconds that exercises all three plug-ins: moving mono and stereo voices,
// two voices that share a position, one kept off the objects, more voices than granted objects, a
// stereo music bus and a quiet ambience straight into the final mix.
SceneSpec DefaultScene();

// The seconds a voice plays until (its end, or the scene's).
double VoiceEnd(const SceneSpec& in_scene, const VoiceSpec& in_voice);

}  // namespace scene
