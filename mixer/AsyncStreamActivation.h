// The Universal Windows build's activation: an ActivationHandler activates the spatial-audio
// client asynchronously and opens the render stream when the platform completes.
//
// Open (InitPlugin) starts the activation and polls the handler's completed flag every
// millisecond, for at most the wait it was given (2 seconds in the build): a handler that has not
// completed by then is let go and the mixer runs without a stream (a completion that still arrives
// only reaches the handler, which the platform keeps alive until then). Reopen (after a loss, and
// for every later attempt) lets the lost or failed handler go (its stream, client and event with
// it) before it creates a new one, so that the new activation finds the renderer's dynamic objects
// free again, and returns at once: until the new handler completes, the mixer sees a stream that is
// not running.
#pragma once

#include <stdint.h>

#include "MixerStreamActivation.h"

class AsyncStreamActivation final : public MixerStreamActivation {
public:
    static constexpr uint32_t kDefaultWaitMilliseconds = 2000;

    constexpr explicit AsyncStreamActivation(
        uint32_t in_uWaitMilliseconds = kDefaultWaitMilliseconds)
        : m_uWaitMilliseconds(in_uWaitMilliseconds) {}

    MixerRenderStream* Open(ZV::IPluginMemAlloc* in_pAllocator,
                            uint32_t in_uEngineSampleRate) const override;
    MixerRenderStream* Reopen(ZV::IPluginMemAlloc* in_pAllocator, uint32_t in_uEngineSampleRate,
                              MixerRenderStream* in_pLost) const override;

private:
    uint32_t m_uWaitMilliseconds;
};
