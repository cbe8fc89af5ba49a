// Lays planar channels out as interleaved frames, the audio thread's hottest loop in the sink and
// the effect: frame f of the output holds, in column c, sample f of in_apSources[c] (a null
// source makes its column silent).
//
// On x86 (SSE2) four frames of four columns are moved at a time with a 4 x 4 transpose, so that
// the output is written in whole 16-byte pieces and frame after frame; on 64-bit x86 processors
// that have AVX, eight frames of eight columns with an 8 x 8 transpose and 32-byte pieces (the
// processor is asked once, when the module loads); elsewhere, and for the frames and columns left
// over, one sample at a time. All give the same floats.
//
// Pure functions: no state, no allocation, no lock.
#pragma once

#include <stdint.h>

// The most columns a layout can have (its channel count is 8 bits); more write nothing.
constexpr uint32_t kMaxInterleaveColumns = 255;

// out_pFrames[f * in_uColumns + c] = in_apSources[c][in_uFirstFrame + f], bit for bit, for f
// below in_uFrames.
void InterleaveFrames(const float* const* in_apSources, uint32_t in_uColumns,
                      uint32_t in_uFirstFrame, uint32_t in_uFrames, float* out_pFrames);

// The same with a linear gain ramp: sample k (counted from the sources' start) is multiplied by
// in_fGain + in_fGainStep * k, computed in single precision as written: the gain of a frame does
// not depend on the frames before it, nor on where a call starts. Frame indexes must stay below
// 2^24, where every one is a float.
void InterleaveFramesRamped(const float* const* in_apSources, uint32_t in_uColumns,
                            uint32_t in_uFirstFrame, uint32_t in_uFrames, float in_fGain,
                            float in_fGainStep, float* out_pFrames);

// The ways of interleaving, which give the same floats; the functions above take the fastest one
// that the build and the processor have. The tests hold them against each other.
enum class InterleavePath {
    Portable,  // one sample at a time
    Sse2,      // 4 x 4 transposes, where the build targets SSE2
    Avx,       // 8 x 8 transposes, on 64-bit x86 processors with AVX (GCC and clang builds)
};

// Whether this build on this processor has in_ePath.
bool InterleavePathAvailable(InterleavePath in_ePath);
// The path that InterleaveFrames and InterleaveFramesRamped take.
InterleavePath SelectedInterleavePath();

// InterleaveFrames and InterleaveFramesRamped on in_ePath; without it (InterleavePathAvailable
// answers false) they write nothing.
void InterleaveFramesOn(InterleavePath in_ePath, const float* const* in_apSources,
                        uint32_t in_uColumns, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                        float* out_pFrames);
void InterleaveFramesRampedOn(InterleavePath in_ePath, const float* const* in_apSources,
                              uint32_t in_uColumns, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                              float in_fGain, float in_fGainStep, float* out_pFrames);
