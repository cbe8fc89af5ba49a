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
// Pure functions of their arguments: no state, no allocation.
#pragma once

#include <stdint.h>

#include "FrameInterleaver.h"
#include "ZvSampleBuffer.h"

// The most columns a bus can have: a layout names at most 255 channels.
constexpr uint32_t kMaxBusColumns = kMaxInterleaveColumns;

// Where each column of a bus buffer comes from.
struct BusColumns {
    const float* apSources[kMaxBusColumns];  // null: the column is silent
    uint32_t uColumns;
};

// The columns of in_buffer under the initialisation mask. More than kMaxBusColumns columns are
// cut to that many.
void FindBusColumns(const ZvSampleBuffer& in_buffer, uint32_t in_uColumnMask, uint32_t in_uColumns,
                    BusColumns& out_rColumns);

// Writes frames in_uFirstFrame to in_uFirstFrame + in_uFrames - 1 of the buffer's columns as
// interleaved frames to out_pInterleaved, which holds in_uFrames * uColumns floats. The frames
// must lie within the buffer's uMaxFrames.
inline void InterleaveBusFrames(const BusColumns& in_columns, uint32_t in_uFirstFrame,
                                uint32_t in_uFrames, float* out_pInterleaved) {
    InterleaveFrames(in_columns.apSources, in_columns.uColumns, in_uFirstFrame, in_uFrames,
                     out_pInterleaved);
}
