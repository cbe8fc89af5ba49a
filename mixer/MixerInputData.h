// What the mixer keeps per input across frames, stored in the host's input context as the input's
// user data and owned by the mixer's ZvMixerInputMap.
//
// Threads: the host's audio thread only.
#pragma once

struct MixerInputData {
    // The input passed through MixInput in the current frame; cleared at FinishMix.
    bool bConsumed = false;
};
