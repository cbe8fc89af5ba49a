#include "BusInterleaver.h"

namespace {

constexpr uint32_t kSpeakerBits = 20;  // the width of uChannelMask

}  // namespace

void FindBusColumns(const ZvSampleBuffer& in_buffer, uint32_t in_uColumnMask, uint32_t in_uColumns,
                    BusColumns& out_rColumns) {
    out_rColumns.uColumns = in_uColumns < kMaxBusColumns ? in_uColumns : kMaxBusColumns;
    for (uint32_t uColumn = 0; uColumn < out_rColumns.uColumns; ++uColumn) {
        out_rColumns.apSources[uColumn] = nullptr;
    }
    const ZvChannelLayout bufferLayout = in_buffer.channelConfig;
    const uint32_t uBufferMask = bufferLayout.uChannelMask;
    uint32_t uColumn = 0;
    uint32_t uSource = 0;
    for (uint32_t uBit = 0; uBit < kSpeakerBits && uColumn < out_rColumns.uColumns; ++uBit) {
        const uint32_t uSpeaker = 1u << uBit;
        const bool bInBuffer = (uBufferMask & uSpeaker) != 0;
        if ((in_uColumnMask & uSpeaker) != 0) {
            if (bInBuffer) {
                out_rColumns.apSources[uColumn] =
                    in_buffer.FindChannel(ZV::MaskOrderToPipelineIndex(bufferLayout, uSource));
            }
            ++uColumn;
        }
        if (bInBuffer) {
            ++uSource;
        }
    }
}
