// The desktop build's activation: synchronous at InitPlugin, on a thread-pool thread after a loss
// (DesktopRenderStream), with a notice to the host when the objects are lost and when they are
// back.
#pragma once

#include <stdint.h>

#include "MixerStreamActivation.h"

class DesktopStreamActivation final : public MixerStreamActivation {
public:
    static constexpr const char* kLostNotice = "WS Mixer Plugin: Resetting";
    static constexpr const char* kBackNotice = "WS Mixer Plugin: Objects restored";
    static constexpr uint32_t kNoticeLevel = 1;

    constexpr DesktopStreamActivation() = default;

    // The stream, activated on the calling thread; null only without memory for it.
    MixerRenderStream* Open(ZV::IPluginMemAlloc* in_pAllocator,
                            uint32_t in_uEngineSampleRate) const override;
    MixerRenderStream* Reopen(ZV::IPluginMemAlloc* in_pAllocator, uint32_t in_uEngineSampleRate,
                              MixerRenderStream* in_pLost) const override;
    void NoticeObjectsLost(ZV::IMixerPluginContext* in_pContext) const override;
    void NoticeObjectsBack(ZV::IMixerPluginContext* in_pContext) const override;
};
