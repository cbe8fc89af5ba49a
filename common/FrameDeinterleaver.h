// Takes interleaved frames apart into planar columns, the sink's render worker's loop from its
// ring's frames to the renderer's object buffers: column c of the output gets, for every frame f,
// the sample in column c of frame f (a null column is skipped).
//
// On x86 (SSE2) four frames of four columns are moved at a time with a 4 x 4 transpose, so that
// every column is written in whole 16-byte pieces; elsewhere, and for the frames and columns left
// over, one sample at a time. Both give the same floats.
//
// Pure functions: no state, no allocation, no lock.
#pragma once

#include <stdint.h>

#include "FrameInterleaver.h"

// out_apColumns[c][f] = in_pFrames[f * in_uStride + c], bit for bit, for c below in_uColumns and
// f below in_uFrames. in_uStride (the frames' width) is at least in_uColumns; a null column in
// out_apColumns is not written.
void DeinterleaveFrames(const float* in_pFrames, uint32_t in_uStride, uint32_t in_uColumns,
                        uint32_t in_uFrames, float* const* out_apColumns);

// DeinterleaveFrames on in_ePath (Portable, or Sse2 where the build has it; there is no Avx path):
// false, and nothing written, where the path is not there.
bool DeinterleaveFramesOn(InterleavePath in_ePath, const float* in_pFrames, uint32_t in_uStride,
                          uint32_t in_uColumns, uint32_t in_uFrames, float* const* out_apColumns);
