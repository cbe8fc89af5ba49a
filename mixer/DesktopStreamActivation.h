// The desktop build's activation: synchronous, on the thread that asks, through a
// DesktopRenderStream that is re-activated in place after a loss.
#pragma once

#include "MixerStreamActivation.h"

class DesktopStreamActivation final : public MixerStreamActivation {
public:
    constexpr DesktopStreamActivation() = default;

    // The stream when it runs; null after any failure (the mixer then runs without one).
    MixerRenderStream* Open(ZV::IPluginMemAlloc* in_pAllocator) const override;
    // Re-activates in_pLost in place (at most once a second, with the notice) and hands it back.
    MixerRenderStream* Reopen(ZV::IPluginMemAlloc* in_pAllocator, MixerRenderStream* in_pLost,
                              ZV::IMixerPluginContext* in_pContext) const override;
};
