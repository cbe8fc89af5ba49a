// What feeds one dynamic object of the render stream: record i feeds object i.
//
// Threads. The audio thread builds the record's inputs and mono mix in MixInput and FinishMix
// (input count, input list, samples: audio thread only), and hands the render worker the mix
// through the ring (its own lock) with the position, the volume and the active flag: each an
// atomic written whole by the audio thread and read whole by the worker, relaxed (a pass may see
// the position of one frame and the volume of another; the samples cross only through the ring).
// The spatial object belongs to the render worker while it runs; the audio thread touches it only
// when the worker is stopped.
#pragma once

#include <spatialaudioclient.h>

#include <stdint.h>

#include <atomic>

#include "CBuffer.h"
#include "ComPtr.h"
#include "InputSlot.h"
#include "ZvSampleBuffer.h"

struct ObjectRecord {
    static constexpr uint32_t kMaxInputs = 32;
    // Both sides of the ring move mono 32-bit floats, 1024 frames per side; 16384 bytes hold
    // 4096 samples.
    static constexpr uint32_t kRingBytes = 16384;
    static constexpr uint16_t kRingFrames = 1024;

    // Audio thread.
    uint32_t uInputCount = 0;  // 0: no input this frame
    InputSlot* apInputs[kMaxInputs] = {};
    ZvSampleBuffer samples = {};  // channel 0: the object's mono mix of the frame
    uint32_t uBufferBytes = 0;

    // Audio thread to render worker.
    std::atomic<float> fX{0.0f};  // renderer coordinates: (x, y, -z) of the first input
    std::atomic<float> fY{0.0f};
    std::atomic<float> fZ{0.0f};
    std::atomic<float> fVolume{1.0f};  // within [0, 1]
    std::atomic<bool> bActive{false};  // had an input in the last object mix-down
    CBuffer* pRing = nullptr;          // set up before the worker starts

    // Render worker.
    ComPtr<ISpatialAudioObject> object;
};
