// The sink's output layouts and the bed objects its channels play on.
//
// The ChannelConfig parameter picks one of four speaker masks; the sink's output channel i (the
// i-th set bit of the mask, lowest first) plays on entry i of the bed table. The stream reserves
// every type of the table whatever the layout, and only the first channel-count entries get an
// object.
#pragma once

#include <spatialaudioclient.h>

#include <stdint.h>

#include "BedObjects.h"
#include "ZvChannelLayout.h"

// Speaker masks of ChannelConfig 0 (stereo), 1 (six channels), 2 (eight) and 3 (twelve).
constexpr uint32_t kSinkLayoutCount = 4;
constexpr uint32_t kSinkLayoutMasks[kSinkLayoutCount] = {0x3, 0x60F, 0x63F, 0x2D63F};

// The layout that ChannelConfig in_uChannelConfig names, into out_rLayout. False for a value that
// names none.
inline bool SinkLayoutFromConfig(uint32_t in_uChannelConfig, ZvChannelLayout& out_rLayout) {
    if (in_uChannelConfig >= kSinkLayoutCount) {
        return false;
    }
    out_rLayout = ZvChannelLayout::FromMask(kSinkLayoutMasks[in_uChannelConfig]);
    return true;
}

// The layout for a ChannelConfig that names none: the host's own when its speakers are those of
// one of the four layouts, otherwise stereo. Every channel of it has a bed object.
inline ZvChannelLayout SinkFallbackLayout(ZvChannelLayout in_hostLayout) {
    for (uint32_t uMask : kSinkLayoutMasks) {
        if (in_hostLayout.uChannelMask == uMask) {
            return ZvChannelLayout::FromMask(uMask);
        }
    }
    return ZvChannelLayout::FromMask(kSinkLayoutMasks[0]);
}
