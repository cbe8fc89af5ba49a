#include "DesktopStreamActivation.h"

#include "DesktopRenderStream.h"

MixerRenderStream* DesktopStreamActivation::Open(ZV::IPluginMemAlloc* in_pAllocator,
                                                 uint32_t in_uEngineSampleRate) const {
    DesktopRenderStream* pStream = DesktopRenderStream::Create(in_pAllocator, in_uEngineSampleRate);
    if (pStream != nullptr) {
        pStream->Activate();
    }
    return pStream;
}

MixerRenderStream* DesktopStreamActivation::Reopen(ZV::IPluginMemAlloc* in_pAllocator,
                                                   uint32_t in_uEngineSampleRate,
                                                   MixerRenderStream* in_pLost) const {
    DesktopRenderStream* pStream = DesktopRenderStream::Create(in_pAllocator, in_uEngineSampleRate);
    if (pStream == nullptr) {
        if (in_pLost != nullptr) {
            in_pLost->Release();
        }
        return nullptr;
    }
    // Without a work item the stream stays closed, and the mixer tries again later.
    pStream->StartActivation(in_pLost);
    return pStream;
}

void DesktopStreamActivation::NoticeObjectsLost(ZV::IMixerPluginContext* in_pContext) const {
    if (in_pContext != nullptr) {
        in_pContext->PostMonitorMessage(kLostNotice, kNoticeLevel);
    }
}

void DesktopStreamActivation::NoticeObjectsBack(ZV::IMixerPluginContext* in_pContext) const {
    if (in_pContext != nullptr) {
        in_pContext->PostMonitorMessage(kBackNotice, kNoticeLevel);
    }
}
