#include "ZvChannelLayout.h"

#include "AssertHook.h"

namespace ZV {

uint32_t MaskOrderToPipelineIndex(ZvChannelLayout in_channelConfig, uint32_t in_uIndex) {
    static constexpr const char* kSource = "ZvCommonDefs";
    ZV_CHECK(kSource, in_channelConfig.eConfigType == ZV_ChannelConfigType_Standard);
    // The report carries the expression exactly as the host header spells it.
    // clang-format off
    ZV_CHECK(kSource, ZV::GetNumNonZeroBits( in_channelConfig.uChannelMask ));
    // clang-format on

    if (!in_channelConfig.HasLfe()) {
        return in_uIndex;
    }
    // f: the speakers stored before the low-frequency one in mask order (front left, right,
    // centre).
    const uint32_t uLfeMaskIndex = GetNumNonZeroBits(in_channelConfig.uChannelMask & 0x7);
    if (in_uIndex == uLfeMaskIndex) {
        return in_channelConfig.uNumChannels - 1u;
    }
    if (in_uIndex > uLfeMaskIndex) {
        return in_uIndex - 1u;
    }
    return in_uIndex;
}

}  // namespace ZV
