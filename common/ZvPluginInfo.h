// What a plug-in tells the host about itself, and the format record InitPlugin receives.
#pragma once

#include <stdint.h>

#include "ZvChannelLayout.h"

struct ZvPluginInfo {
    uint32_t eType;           // ZvPluginType
    uint32_t uBuildVersion;   // kZvBuildVersion
    bool bIsInPlace;          // set by the effect and the mixer
    bool bReserved;           // written by no plug-in
    bool bCanProcessObjects;  // clear in every plug-in
};
static_assert(sizeof(ZvPluginInfo) == 12, "ZvPluginInfo layout");

// The fourth argument of InitPlugin. The sink overwrites channelConfig with its own layout.
struct ZvAudioFormat {
    uint32_t uSampleRate;
    ZvChannelLayout channelConfig;
};
static_assert(sizeof(ZvAudioFormat) == 8, "ZvAudioFormat layout");
