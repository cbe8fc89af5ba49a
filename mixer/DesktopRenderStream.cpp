#include "DesktopRenderStream.h"

#include <objbase.h>

#include <new>
#include <utility>

namespace {

// The stream the desktop build opens: no static objects, every dynamic object granted (capped at
// 32), a start whose result is not tested.
constexpr SpatialStreamRequest kStreamRequest = {0, DynamicObjectUse::Required, true, 2, false};

}  // namespace

DesktopRenderStream* DesktopRenderStream::Create(ZV::IPluginMemAlloc* in_pAllocator,
                                                 uint32_t in_uEngineSampleRate) {
    if (in_pAllocator == nullptr) {
        return nullptr;
    }
    void* pMemory = in_pAllocator->Malloc(sizeof(DesktopRenderStream));
    if (pMemory == nullptr) {
        return nullptr;
    }
    return new (pMemory) DesktopRenderStream(in_pAllocator, in_uEngineSampleRate);
}

DesktopRenderStream::DesktopRenderStream(ZV::IPluginMemAlloc* in_pAllocator,
                                         uint32_t in_uEngineSampleRate)
    : MixerRenderStream(in_uEngineSampleRate), m_pAllocator(in_pAllocator) {}

DesktopRenderStream::~DesktopRenderStream() {
    if (m_pWork != nullptr) {
        WaitForThreadpoolWorkCallbacks(m_pWork, FALSE);
        CloseThreadpoolWork(m_pWork);
        m_pWork = nullptr;
    }
    // Only when the work never ran.
    if (m_pLost != nullptr) {
        m_pLost->Release();
        m_pLost = nullptr;
    }
}

SpatialOpenResult DesktopRenderStream::Activate() {
    SpatialStream opened;
    const SpatialOpenResult eResult =
        OpenDefaultSpatialStream(AtEngineRate(kStreamRequest), opened);
    Conclude(eResult, std::move(opened));
    return eResult;
}

bool DesktopRenderStream::StartActivation(MixerRenderStream* in_pLost) {
    m_pWork = CreateThreadpoolWork(&DesktopRenderStream::ActivationWork, this, nullptr);
    if (m_pWork == nullptr) {
        if (in_pLost != nullptr) {
            in_pLost->Release();
        }
        return false;
    }
    m_pLost = in_pLost;
    BeginActivation();
    SubmitThreadpoolWork(m_pWork);
    return true;
}

void CALLBACK DesktopRenderStream::ActivationWork(PTP_CALLBACK_INSTANCE /*in_pInstance*/,
                                                  PVOID in_pContext, PTP_WORK /*in_pWork*/) {
    DesktopRenderStream* pStream = static_cast<DesktopRenderStream*>(in_pContext);
    const HRESULT hrCom = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (pStream->m_pLost != nullptr) {
        pStream->m_pLost->Release();
        pStream->m_pLost = nullptr;
    }
    pStream->Activate();
    if (SUCCEEDED(hrCom)) {
        CoUninitialize();
    }
    pStream->CompleteActivation();
}

ULONG DesktopRenderStream::AddRef() {
    return m_uRefs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG DesktopRenderStream::Release() {
    const ULONG uRefs = m_uRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (uRefs == 0) {
        ZV::IPluginMemAlloc* pAllocator = m_pAllocator;
        this->~DesktopRenderStream();
        pAllocator->Free(this);
    }
    return uRefs;
}
