// How the effect lays a bus buffer out for its ring: one interleaved frame of in_uColumns samples
// per bus frame, column k holding the k-th speaker of the initialisation mask.
//
// The walk goes over the speaker bits from the lowest up. A bit of the initialisation mask
// (in_uColumnMask) owns the next column; a bit of the buffer's own mask owns the next source
// speaker of the buffer, whose channel the host's channel-index rule gives
// (ZV::MaskOrderToPipelineIndex: the low-frequency channel is stored last). A column whose bit the
// buffer lacks, or whose source channel lies beyond the buffer's channels, is written as zeros, so
// every column is written on every call and nothing stale survives from an earlier buffer. Columns
// are never written past in_uColumns, even when the mask has more bits than that.
//
// Pure function of its arguments: no state, no allocation.
#pragma once

#include <stdint.h>

#include "ZvSampleBuffer.h"

// The most columns a bus can have: a layout names at most 255 channels.
constexpr uint32_t kMaxBusColumns = 255;

// Writes in_uFrames interleaved frames of in_uColumns samples to out_pInterleaved. in_uFrames must
// not exceed the buffer's uMaxFrames; out_pInterleaved holds in_uFrames * in_uColumns floats.
// More than kMaxBusColumns columns write nothing.
void InterleaveBus(const ZvSampleBuffer& in_buffer, uint32_t in_uColumnMask, uint32_t in_uColumns,
                   uint32_t in_uFrames, float* out_pInterleaved);
