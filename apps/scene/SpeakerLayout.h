// The 7.1.4 speaker layout that the renderer's output is mixed to, and the directions of its
// static objects.
//
// Output channels follow the WAVE_FORMAT_EXTENSIBLE order of the 7.1.4 mask: front left, front
// right, front centre, low frequency, back left, back right, side left, side right, top front
// left, top front right, top back left, top back right.
//
// Directions: azimuth in degrees, 0 ahead, positive to the right; elevation positive upwards.
#pragma once

#include <audioclient.h>
#include <spatialaudioclient.h>

#include <cstdint>

namespace scene {

constexpr uint32_t kSpeakerChannels = 12;
constexpr uint32_t kLowFrequencyChannel = 3;

struct SpeakerDirection {
    double fAzimuth;
    double fElevation;
};

// The direction of output channel in_uChannel (the low-frequency channel: straight ahead).
SpeakerDirection SpeakerDirectionOf(uint32_t in_uChannel);

// Short names for reports and pictures: "FL", "FR", "FC", "LFE", "BL", ...
const char* SpeakerName(uint32_t in_uChannel);

// The output channel on which a static object of type in_eType plays, or -1 for a type that has
// no speaker of its own in 7.1.4 (those are panned from StaticObjectDirection).
int StaticObjectChannel(AudioObjectType in_eType);

// Where the renderer places a static object of type in_eType (the usual speaker positions).
SpeakerDirection StaticObjectDirection(AudioObjectType in_eType);

// The direction of a renderer position (right-handed: +x right, +y up, +z behind the listener).
// The origin counts as straight ahead.
SpeakerDirection DirectionOfPosition(float in_fX, float in_fY, float in_fZ);

}  // namespace scene
