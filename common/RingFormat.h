// The description of one side of a sample ring: a 16-byte wave-format head followed by the number
// of frames that side moves at a time. The ring reads only the channel count, the block align
// (bytes per sample), the bits per sample and the frame count; the other fields may hold anything.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct RingFormat {
    uint16_t uFormatTag;
    uint16_t uNumChannels;
    uint32_t uSampleRate;
    uint32_t uAvgBytesPerSec;
    uint16_t uBlockAlign;  // bytes of one sample of one channel
    uint16_t uBitsPerSample;
    uint16_t uNumFrames;

    // Interleaved 32-bit float samples, as every plug-in of the family moves them.
    static constexpr RingFormat Float32(uint16_t in_uNumChannels, uint16_t in_uNumFrames) {
        return RingFormat{3 /* IEEE float */, in_uNumChannels, 0, 0, 4, 32, in_uNumFrames};
    }
};
static_assert(offsetof(RingFormat, uNumFrames) == 16, "the frame count follows the wave head");
