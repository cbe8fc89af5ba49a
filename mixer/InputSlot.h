// One input of the current frame on its way to a dynamic object: slot k belongs to the k-th
// MixInput call since the last FinishMix.
//
// Threads: the host's audio thread only.
#pragma once

#include "ZvSampleBuffer.h"

struct InputSlot {
    // The input's position in the host's listener frame, from its ray 0.
    float fX = 0.0f;
    float fY = 0.0f;
    float fZ = 0.0f;
    // The input's emitter-listener volume ramp, brought into the renderer's range [0, 1].
    float fVolumePrev = 1.0f;
    float fVolumeNext = 1.0f;
    // Entered into an object record this frame.
    bool bAssigned = false;
    // The output layout and the host's max frames; channel 0 holds the input's mono downmix.
    ZvSampleBuffer samples = {};
};
