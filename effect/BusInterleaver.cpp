#include "BusInterleaver.h"

#include <stddef.h>

namespace {

constexpr uint32_t kSpeakerBits = 20;  // the width of uChannelMask

void WriteColumn(const float* in_pSource, uint32_t in_uColumn, uint32_t in_uColumns,
                 uint32_t in_uFrames, float* out_pInterleaved) {
    float* pDestination = out_pInterleaved + in_uColumn;
    if (in_pSource == nullptr) {
        for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
            pDestination[static_cast<size_t>(uFrame) * in_uColumns] = 0.0f;
        }
        return;
    }
    for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        pDestination[static_cast<size_t>(uFrame) * in_uColumns] = in_pSource[uFrame];
    }
}

}  // namespace

void InterleaveBus(const ZvSampleBuffer& in_buffer, uint32_t in_uColumnMask, uint32_t in_uColumns,
                   uint32_t in_uFrames, float* out_pInterleaved) {
    const ZvChannelLayout bufferLayout = in_buffer.channelConfig;
    const uint32_t uBufferMask = bufferLayout.uChannelMask;
    uint32_t uColumn = 0;
    uint32_t uSource = 0;
    for (uint32_t uBit = 0; uBit < kSpeakerBits && uColumn < in_uColumns; ++uBit) {
        const uint32_t uSpeaker = 1u << uBit;
        const bool bInBuffer = (uBufferMask & uSpeaker) != 0;
        if ((in_uColumnMask & uSpeaker) != 0) {
            const float* pSource = nullptr;
            if (bInBuffer) {
                pSource =
                    in_buffer.FindChannel(ZV::MaskOrderToPipelineIndex(bufferLayout, uSource));
            }
            WriteColumn(pSource, uColumn, in_uColumns, in_uFrames, out_pInterleaved);
            ++uColumn;
        }
        if (bInBuffer) {
            ++uSource;
        }
    }
    // Columns the mask does not reach (fewer speaker bits than columns) carry silence.
    for (; uColumn < in_uColumns; ++uColumn) {
        WriteColumn(nullptr, uColumn, in_uColumns, in_uFrames, out_pInterleaved);
    }
}
