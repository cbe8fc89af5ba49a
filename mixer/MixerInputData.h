// What the mixer keeps per input across frames, stored in the host's input context as the input's
// user data and owned by the mixer's ZvMixerInputMap.
//
// Threads: the host's audio thread only.
#pragma once

#include <stdint.h>

struct MixerInputData {
    static constexpr uint32_t kNoRecord = 0xFFFFFFFFu;

    // The input passed through MixInput in the current frame; cleared at FinishMix.
    bool bConsumed = false;
    // The record the input joined most recently, and that record's occupancy then: the input
    // plays on in it for as long as the record is still held by that occupancy.
    uint32_t uRecord = kNoRecord;
    uint32_t uOccupancy = 0;
};
