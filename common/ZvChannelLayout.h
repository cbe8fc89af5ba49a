// The host's packed 32-bit channel configuration and its channel-index rule.
#pragma once

#include <stdint.h>

constexpr uint32_t ZV_ChannelConfigType_Anonymous = 0;
constexpr uint32_t ZV_ChannelConfigType_Standard = 1;

// Speaker bits of uChannelMask.
constexpr uint32_t ZV_SPEAKER_FRONT_LEFT = 0x1;
constexpr uint32_t ZV_SPEAKER_FRONT_RIGHT = 0x2;
constexpr uint32_t ZV_SPEAKER_FRONT_CENTER = 0x4;
constexpr uint32_t ZV_SPEAKER_LOW_FREQUENCY = 0x8;
constexpr uint32_t ZV_SPEAKER_BACK_LEFT = 0x10;
constexpr uint32_t ZV_SPEAKER_BACK_RIGHT = 0x20;
constexpr uint32_t ZV_SPEAKER_BACK_CENTER = 0x100;
constexpr uint32_t ZV_SPEAKER_SIDE_LEFT = 0x200;
constexpr uint32_t ZV_SPEAKER_SIDE_RIGHT = 0x400;
constexpr uint32_t ZV_SPEAKER_TOP_FRONT_LEFT = 0x1000;
constexpr uint32_t ZV_SPEAKER_TOP_FRONT_RIGHT = 0x4000;
constexpr uint32_t ZV_SPEAKER_TOP_BACK_LEFT = 0x8000;
constexpr uint32_t ZV_SPEAKER_TOP_BACK_RIGHT = 0x20000;

namespace ZV {
constexpr uint32_t GetNumNonZeroBits(uint32_t in_uValue) {
    uint32_t uCount = 0;
    for (; in_uValue != 0; in_uValue &= in_uValue - 1) {
        ++uCount;
    }
    return uCount;
}
}  // namespace ZV

// Bits 0 to 7: number of channels; bits 8 to 11: configuration type; bits 12 to 31: speaker mask.
struct ZvChannelLayout {
    uint32_t uNumChannels : 8;
    uint32_t eConfigType : 4;
    uint32_t uChannelMask : 20;

    constexpr ZvChannelLayout() : uNumChannels(0), eConfigType(0), uChannelMask(0) {}

    // popcount(mask) | standard type | mask << 12.
    static constexpr ZvChannelLayout FromMask(uint32_t in_uChannelMask) {
        ZvChannelLayout layout;
        layout.uNumChannels = ZV::GetNumNonZeroBits(in_uChannelMask & 0xFFFFF) & 0xFF;
        layout.eConfigType = ZV_ChannelConfigType_Standard;
        layout.uChannelMask = in_uChannelMask & 0xFFFFF;
        return layout;
    }

    static constexpr ZvChannelLayout Deserialize(uint32_t in_uWord) {
        ZvChannelLayout layout;
        layout.uNumChannels = in_uWord & 0xFF;
        layout.eConfigType = (in_uWord >> 8) & 0xF;
        layout.uChannelMask = in_uWord >> 12;
        return layout;
    }

    constexpr uint32_t Serialize() const {
        return uNumChannels | (uint32_t{eConfigType} << 8) | (uint32_t{uChannelMask} << 12);
    }

    constexpr bool HasLfe() const { return (uChannelMask & ZV_SPEAKER_LOW_FREQUENCY) != 0; }
};
// The engine passes it by value (ComputeSpeakerVolumes), and both ABIs pass it as they pass a
// 32-bit integer because it is 4 bytes and trivially copyable, which includes a trivial destructor
// (its constructors only build values; the copy and the destructor are the compiler's). No
// interface slot returns it: the platform's compiler returns a class with a constructor through a
// hidden pointer. The check asks the compiler's builtin, so that this header needs no standard
// library.
static_assert(sizeof(ZvChannelLayout) == 4 && __is_trivially_copyable(ZvChannelLayout),
              "ZvChannelLayout is one 32-bit word, passed by value across the plug-in boundary");

namespace ZV {
// The host stores a buffer's channels in mask order, except that the low-frequency channel, when
// the mask has one, is stored last. Returns the buffer channel that holds the in_uIndex-th speaker
// of the mask. A layout that is not standard, or whose mask is empty, is reported and still
// computed.
uint32_t MaskOrderToPipelineIndex(ZvChannelLayout in_channelConfig, uint32_t in_uIndex);
}  // namespace ZV
