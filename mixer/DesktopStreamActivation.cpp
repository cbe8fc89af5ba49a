#include "DesktopStreamActivation.h"

#include "DesktopRenderStream.h"

MixerRenderStream* DesktopStreamActivation::Open(ZV::IPluginMemAlloc* in_pAllocator) const {
    DesktopRenderStream* pStream = DesktopRenderStream::Create(in_pAllocator);
    if (pStream == nullptr) {
        return nullptr;
    }
    if (pStream->Activate(StreamClosed) != SpatialOpenResult::Opened) {
        pStream->Release();
        return nullptr;
    }
    return pStream;
}

MixerRenderStream* DesktopStreamActivation::Reopen(ZV::IPluginMemAlloc* /*in_pAllocator*/,
                                                   MixerRenderStream* in_pLost,
                                                   ZV::IMixerPluginContext* in_pContext) const {
    if (in_pLost != nullptr) {
        // This activation hands the mixer no other kind of stream.
        static_cast<DesktopRenderStream*>(in_pLost)->Reset(in_pContext);
    }
    return in_pLost;
}
