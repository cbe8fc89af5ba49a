#include "DesktopRenderStream.h"

#include <new>
#include <utility>

namespace {

// The stream the desktop build opens: no static objects, every dynamic object granted (capped at
// 32), a start whose result is not tested.
constexpr SpatialStreamRequest kStreamRequest = {0, DynamicObjectUse::Required, true, 2, false};

}  // namespace

DesktopRenderStream* DesktopRenderStream::Create(ZV::IPluginMemAlloc* in_pAllocator) {
    if (in_pAllocator == nullptr) {
        return nullptr;
    }
    void* pMemory = in_pAllocator->Malloc(sizeof(DesktopRenderStream));
    if (pMemory == nullptr) {
        return nullptr;
    }
    return new (pMemory) DesktopRenderStream(in_pAllocator);
}

DesktopRenderStream::DesktopRenderStream(ZV::IPluginMemAlloc* in_pAllocator)
    : m_pAllocator(in_pAllocator) {}

SpatialOpenResult DesktopRenderStream::Activate(StreamState in_eStateOnFailure) {
    // The renderer's dynamic objects are shared by every stream of the endpoint: an earlier stream
    // must be gone before a new one asks for them.
    Drop(State());
    SpatialStream opened;
    const SpatialOpenResult eResult = OpenDefaultSpatialStream(kStreamRequest, opened);
    switch (eResult) {
        case SpatialOpenResult::Opened:
            Publish(std::move(opened));
            break;
        case SpatialOpenResult::NoEndpoint:
            Drop(StreamClosed);
            break;
        case SpatialOpenResult::Failed:
            Drop(in_eStateOnFailure);
            break;
    }
    return eResult;
}

void DesktopRenderStream::Reset(ZV::IMixerPluginContext* in_pContext) {
    const auto now = std::chrono::steady_clock::now();
    if (m_bResetAttempted && now - m_lastResetAttempt < kResetInterval) {
        return;
    }
    m_bResetAttempted = true;
    m_lastResetAttempt = now;
    if (in_pContext != nullptr) {
        in_pContext->PostMonitorMessage(kResetNotice, kResetNoticeLevel);
    }
    Activate(StreamLost);
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
