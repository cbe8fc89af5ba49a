#include "BedSineClient.h"

#include <cmath>

namespace testing_support {
namespace {

template <typename T>
void ReleaseAndClear(T*& io_pObject) {
    if (io_pObject != nullptr) {
        io_pObject->Release();
        io_pObject = nullptr;
    }
}

}  // namespace

float BedSineClient::Sample(uint64_t in_uFrame) {
    const double dPhase =
        2.0 * 3.14159265358979 * 440.0 * static_cast<double>(in_uFrame % 48000) / 48000.0;
    return static_cast<float>(0.5 * std::sin(dPhase));
}

HRESULT BedSineClient::Open(uint32_t in_uSinePasses) {
    m_uSinePasses = in_uSinePasses;
    IMMDeviceEnumerator* pEnumerator = nullptr;
    HRESULT hr =
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&pEnumerator));
    if (FAILED(hr)) {
        return hr;
    }
    IMMDevice* pDevice = nullptr;
    hr = pEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, &pDevice);
    pEnumerator->Release();
    if (FAILED(hr)) {
        return hr;
    }
    hr = pDevice->Activate(__uuidof(ISpatialAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                           reinterpret_cast<void**>(&m_pClient));
    pDevice->Release();
    if (FAILED(hr)) {
        return hr;
    }

    IAudioFormatEnumerator* pFormats = nullptr;
    hr = m_pClient->GetSupportedAudioObjectFormatEnumerator(&pFormats);
    if (FAILED(hr)) {
        return hr;
    }
    WAVEFORMATEX* pFormat = nullptr;
    hr = pFormats->GetFormat(0, &pFormat);
    if (SUCCEEDED(hr)) {
        hr = m_pClient->GetMaxFrameCount(pFormat, &m_uFrames);
    }
    if (SUCCEEDED(hr)) {
        m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        hr = m_hEvent != nullptr ? S_OK : E_FAIL;
    }
    if (SUCCEEDED(hr)) {
        SpatialAudioObjectRenderStreamActivationParams params = {};
        params.ObjectFormat = pFormat;
        params.StaticObjectTypeMask = static_cast<AudioObjectType>(kBedMask);
        params.Category = AudioCategory_GameEffects;
        params.EventHandle = m_hEvent;
        PROPVARIANT variant;
        PropVariantInit(&variant);
        variant.vt = VT_BLOB;
        variant.blob.cbSize = sizeof(params);
        variant.blob.pBlobData = reinterpret_cast<BYTE*>(&params);
        hr = m_pClient->ActivateSpatialAudioStream(&variant,
                                                   __uuidof(ISpatialAudioObjectRenderStream),
                                                   reinterpret_cast<void**>(&m_pStream));
    }
    pFormats->Release();
    if (FAILED(hr)) {
        return hr;
    }
    for (int i = 0; i < kBedObjects; ++i) {
        hr = m_pStream->ActivateSpatialAudioObject(static_cast<AudioObjectType>(2u << i),
                                                   &m_apObjects[i]);
        if (FAILED(hr)) {
            return hr;
        }
    }
    hr = m_pStream->Start();
    if (FAILED(hr)) {
        return hr;
    }
    m_pWork = CreateThreadpoolWork(&BedSineClient::Work, this, nullptr);
    if (m_pWork == nullptr) {
        return E_FAIL;
    }
    m_bRunning.store(true, std::memory_order_release);
    SubmitThreadpoolWork(m_pWork);
    return S_OK;
}

void BedSineClient::Close() {
    if (m_pWork != nullptr) {
        m_bRunning.store(false, std::memory_order_release);
        WaitForThreadpoolWorkCallbacks(m_pWork, FALSE);
        CloseThreadpoolWork(m_pWork);
        m_pWork = nullptr;
    }
    for (ISpatialAudioObject*& pObject : m_apObjects) {
        ReleaseAndClear(pObject);
    }
    ReleaseAndClear(m_pStream);
    ReleaseAndClear(m_pClient);
    if (m_hEvent != nullptr) {
        CloseHandle(m_hEvent);
        m_hEvent = nullptr;
    }
}

VOID CALLBACK BedSineClient::Work(PTP_CALLBACK_INSTANCE, PVOID pvContext, PTP_WORK) {
    static_cast<BedSineClient*>(pvContext)->Run();
}

void BedSineClient::Run() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    uint64_t uFrame = 0;
    while (m_bRunning.load(std::memory_order_acquire)) {
        if (WaitForSingleObject(m_hEvent, 100) != WAIT_OBJECT_0) {
            continue;  // no pass asked for (or the worker is being stopped)
        }
        UINT32 uAvailable = 0, uFrames = 0;
        if (FAILED(m_pStream->BeginUpdatingAudioObjects(&uAvailable, &uFrames))) {
            m_uFailures.fetch_add(1, std::memory_order_acq_rel);
            continue;
        }
        const bool bSine = m_uPasses.load(std::memory_order_relaxed) < m_uSinePasses;
        for (int i = 0; i < kBedObjects; ++i) {
            BYTE* pBuffer = nullptr;
            UINT32 uBytes = 0;
            if (FAILED(m_apObjects[i]->GetBuffer(&pBuffer, &uBytes))) {
                m_uFailures.fetch_add(1, std::memory_order_acq_rel);
                continue;
            }
            if (i == 0 && bSine) {
                float* pSamples = reinterpret_cast<float*>(pBuffer);
                const UINT32 uCount = uBytes / sizeof(float) < m_uFrames
                                          ? uBytes / static_cast<UINT32>(sizeof(float))
                                          : m_uFrames;
                for (UINT32 f = 0; f < uCount; ++f) {
                    pSamples[f] = Sample(uFrame + f);
                }
            }
        }
        if (bSine) {
            uFrame += m_uFrames;
        }
        if (FAILED(m_pStream->EndUpdatingAudioObjects())) {
            m_uFailures.fetch_add(1, std::memory_order_acq_rel);
        }
        m_uPasses.fetch_add(1, std::memory_order_acq_rel);
    }
    CoUninitialize();
}

}  // namespace testing_support
