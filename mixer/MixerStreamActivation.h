// How the mixer obtains its render stream: the one thing in which its two builds differ.
//
// The Universal Windows build activates the spatial-audio client asynchronously through an
// ActivationHandler (AsyncStreamActivation); the desktop build activates it synchronously at
// InitPlugin and on a thread-pool thread after a loss (DesktopStreamActivation). Each build's
// factory (SpatialMixerFXFactory.h) hands the mixer its own implementation; everything else of
// the mixer, the schedule of re-activations included, is shared.
//
// Threads: every operation runs on the host's audio thread (InitPlugin, FinishMix). An
// implementation keeps no state of its own; what an activation needs lives in the stream object.
#pragma once

#include "MixerRenderStream.h"
#include "ZvHostEngine.h"

class MixerStreamActivation {
public:
    // InitPlugin: opens the mixer's first render stream at in_uEngineSampleRate and returns the
    // mixer's reference to it once its activation is over: running, or closed (the mixer reads
    // why, RefusedSampleRate, and lets it go); null when no stream object could be had or the
    // activation did not end in time. Without a running stream the mixer runs without one: every
    // input goes to the bed. Never waits without bound.
    virtual MixerRenderStream* Open(ZV::IPluginMemAlloc* in_pAllocator,
                                    uint32_t in_uEngineSampleRate) const = 0;

    // FinishMix, to bring objects back after a loss: takes over the mixer's reference in_pLost
    // (the lost stream, or the stream of an earlier attempt that failed; may be null), which the
    // render worker no longer holds, and returns the mixer's reference to a new stream whose
    // activation may still be under way (MixerRenderStream::ActivationPending), or null when none
    // could be started. Returns at once: the audio thread never waits for an activation. The lost
    // stream is released before the new one asks the renderer for its dynamic objects. The new
    // stream is asked for at in_uEngineSampleRate.
    virtual MixerRenderStream* Reopen(ZV::IPluginMemAlloc* in_pAllocator,
                                      uint32_t in_uEngineSampleRate,
                                      MixerRenderStream* in_pLost) const = 0;

    // The build's notices: the objects are lost (once per loss, however many attempts follow),
    // and they are back.
    virtual void NoticeObjectsLost(ZV::IMixerPluginContext* /*in_pContext*/) const {}
    virtual void NoticeObjectsBack(ZV::IMixerPluginContext* /*in_pContext*/) const {}

protected:
    ~MixerStreamActivation() = default;
};
