#include "BusInterleaver.h"

#include "FrameInterleaver.h"

namespace {

constexpr uint32_t kSpeakerBits = 20;  // the width of uChannelMask

}  // namespace

void InterleaveBus(const ZvSampleBuffer& in_buffer, uint32_t in_uColumnMask, uint32_t in_uColumns,
                   uint32_t in_uFrames, float* out_pInterleaved) {
    if (in_uColumns > kMaxBusColumns) {
        return;  // no layout names that many channels
    }
    // The source of every column; the columns the walk does not fill stay silent.
    const float* apSources[kMaxBusColumns] = {};
    const ZvChannelLayout bufferLayout = in_buffer.channelConfig;
    const uint32_t uBufferMask = bufferLayout.uChannelMask;
    uint32_t uColumn = 0;
    uint32_t uSource = 0;
    for (uint32_t uBit = 0; uBit < kSpeakerBits && uColumn < in_uColumns; ++uBit) {
        const uint32_t uSpeaker = 1u << uBit;
        const bool bInBuffer = (uBufferMask & uSpeaker) != 0;
        if ((in_uColumnMask & uSpeaker) != 0) {
            if (bInBuffer) {
                apSources[uColumn] =
                    in_buffer.FindChannel(ZV::MaskOrderToPipelineIndex(bufferLayout, uSource));
            }
            ++uColumn;
        }
        if (bInBuffer) {
            ++uSource;
        }
    }
    InterleaveFrames(apSources, in_uColumns, in_uFrames, out_pInterleaved);
}
