// The host's audio buffer and volume ramp.
#pragma once

#include <stdint.h>

#include "AssertHook.h"
#include "ZvChannelLayout.h"

// Planar 32-bit float samples: channel k starts at pData + k * uMaxFrames.
struct ZvSampleBuffer {
    float* pData;
    ZvChannelLayout channelConfig;
    uint32_t eState;
    uint16_t uMaxFrames;
    uint16_t uValidFrames;

    uint32_t NumChannels() const { return channelConfig.uNumChannels; }
    uint16_t MaxFrames() const { return uMaxFrames; }

    // The start of channel in_uIndex; an index beyond the buffer's channels is reported (the
    // caller decides what to do with it).
    float* GetChannel(uint32_t in_uIndex) const {
        ZV_CHECK("ZvCommonDefs", in_uIndex < NumChannels());
        return pData + static_cast<uintptr_t>(in_uIndex) * uMaxFrames;
    }

    // The same check, for callers that treat a channel beyond the buffer as missing: null then.
    float* FindChannel(uint32_t in_uIndex) const {
        ZV_CHECK("ZvCommonDefs", in_uIndex < NumChannels());
        if (in_uIndex >= NumChannels()) {
            return nullptr;
        }
        return pData + static_cast<uintptr_t>(in_uIndex) * uMaxFrames;
    }
};

// fPrev is the gain at the first frame; a linear ramp across the buffer heads for fNext.
//
// The engine passes it by value (ConsumeFrame, MixInput), and both ABIs pass it alike because it
// is 8 bytes and trivially copyable, which includes a trivial destructor: on x64 Windows as one
// 64-bit integer (a register, or a stack slot), on 32-bit x86 as two 32-bit words on the stack,
// by the platform's compiler and by MinGW-w64 alike (on Linux, one SSE register, as for the same
// record in C). A larger record, or one with a copy constructor or destructor of its own, would
// travel through a hidden pointer on x64 Windows instead. The check asks the compiler's builtin,
// so that this header needs no standard library.
struct ZvVolumeRamp {
    float fPrev;
    float fNext;
};
static_assert(sizeof(ZvVolumeRamp) == 8 && __is_trivially_copyable(ZvVolumeRamp),
              "ZvVolumeRamp is passed by value across the plug-in boundary");
