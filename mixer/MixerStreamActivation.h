// How the mixer obtains its render stream: the one thing in which its two builds differ.
//
// The Universal Windows build activates the spatial-audio client asynchronously through an
// ActivationHandler (AsyncStreamActivation); the desktop build activates it synchronously on the
// default endpoint and re-activates it in place after a loss (DesktopStreamActivation). Each
// build's factory (SpatialMixerFXFactory.h) hands the mixer its own implementation; everything
// else of the mixer is shared.
//
// Threads: both operations run on the host's audio thread (InitPlugin, FinishMix). An
// implementation keeps no state of its own; what an activation needs lives in the stream object.
#pragma once

#include "MixerRenderStream.h"
#include "ZvHostEngine.h"

class MixerStreamActivation {
public:
    // InitPlugin: opens the mixer's first render stream and returns the mixer's reference to it
    // once it runs, or null when it could not be opened (the mixer then runs without a stream:
    // every input goes to the bed). Never waits without bound.
    virtual MixerRenderStream* Open(ZV::IPluginMemAlloc* in_pAllocator) const = 0;

    // FinishMix on a lost stream, once the render worker holds nothing of it (no reference, no
    // object): takes over the mixer's reference in_pLost and returns the mixer's reference to the
    // stream to use from now on (the same object re-activated in place, or a new one whose
    // activation may still be under way), or null when there is none. in_pContext receives the
    // build's notices.
    virtual MixerRenderStream* Reopen(ZV::IPluginMemAlloc* in_pAllocator,
                                      MixerRenderStream* in_pLost,
                                      ZV::IMixerPluginContext* in_pContext) const = 0;

protected:
    ~MixerStreamActivation() = default;
};
