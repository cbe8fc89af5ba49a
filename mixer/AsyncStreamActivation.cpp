#include "AsyncStreamActivation.h"

#include <windows.h>

#include <chrono>

#include "ActivationHandler.h"

MixerRenderStream* AsyncStreamActivation::Open(ZV::IPluginMemAlloc* in_pAllocator,
                                               uint32_t in_uEngineSampleRate) const {
    ActivationHandler* pHandler = ActivationHandler::Create(in_pAllocator, in_uEngineSampleRate);
    if (pHandler == nullptr) {
        return nullptr;
    }
    // The result is not needed: a failed start completes the handler with StreamClosed.
    pHandler->StartActivation();

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_uWaitMilliseconds);
    while (!pHandler->IsCompleted()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            pHandler->Release();
            return nullptr;
        }
        Sleep(1);
    }
    return pHandler;
}

MixerRenderStream* AsyncStreamActivation::Reopen(ZV::IPluginMemAlloc* in_pAllocator,
                                                 uint32_t in_uEngineSampleRate,
                                                 MixerRenderStream* in_pLost) const {
    // The mixer's reference is the last one: the render worker holds nothing of the lost stream
    // and its completion has run.
    if (in_pLost != nullptr) {
        in_pLost->Release();
    }
    ActivationHandler* pHandler = ActivationHandler::Create(in_pAllocator, in_uEngineSampleRate);
    if (pHandler != nullptr) {
        pHandler->StartActivation();
    }
    return pHandler;
}
