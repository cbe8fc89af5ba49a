#include "AudioObject.h"

#include <cmath>
#include <cstring>

#include "CallScope.h"
#include "LiveCounters.h"
#include "RenderStream.h"
#include "RendererCore.h"

namespace standin {
namespace detail {

AudioObject::AudioObject(RenderStream* in_pStream, uint64_t in_uId, AudioObjectType in_eType)
    : m_pStream(in_pStream),
      m_uId(in_uId),
      m_eType(in_eType),
      m_uBufferBytes(in_pStream->BufferBytes()),
      // Exactly the length GetBuffer reports, so that a write past it is caught by the sanitizers.
      m_pBuffer(new BYTE[in_pStream->BufferBytes() == 0 ? 1 : in_pStream->BufferBytes()]()) {
    m_pStream->AddRef();
    Counters().audioObjects.fetch_add(1);
}

AudioObject::~AudioObject() {
    {
        std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
        if (m_eState != State::Ended) {
            m_pStream->ObjectEndedLocked(this);
        }
        m_pStream->RemoveObjectLocked(this);
    }
    Counters().audioObjects.fetch_sub(1);
    m_pStream->Release();
}

HRESULT AudioObject::QueryInterface(REFIID riid, void** ppv) {
    return AnswerQueryInterface(
        riid, ppv,
        {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
         {__uuidof(ISpatialAudioObjectBase), static_cast<ISpatialAudioObjectBase*>(this)},
         {__uuidof(ISpatialAudioObject), static_cast<ISpatialAudioObject*>(this)}});
}

bool AudioObject::ActiveLocked() const {
    return m_eState != State::Ended && !m_pStream->LostLocked();
}

void AudioObject::BeginPassLocked() {
    m_bGotBuffer = false;
    if (m_eState != State::Ended) {
        std::memset(m_pBuffer.get(), 0, m_uBufferBytes);
    }
}

bool AudioObject::EndPassLocked(Pass* io_pPass) {
    bool bEndedImplicitly = false;
    if (m_eState == State::Alive) {
        if (io_pPass != nullptr) {
            ObjectPass share;
            share.objectId = m_uId;
            share.type = m_eType;
            share.gotBuffer = m_bGotBuffer;
            // Copied in one go (not zeroed first), into a buffer given back by the client where
            // there is one: the pass's end holds the renderer's lock.
            share.samples = RendererCore::Instance().CapturedSamplesLocked(
                reinterpret_cast<const float*>(m_pBuffer.get()), m_uBufferBytes / sizeof(float));
            if (m_bEndOfStream) {
                // Only the frames up to the end of stream are played.
                const size_t uPlayed =
                    size_t{m_uEndFrames} * m_pStream->BlockAlign() / sizeof(float);
                for (size_t i = uPlayed; i < share.samples.size(); ++i) {
                    share.samples[i] = 0.0f;
                }
            }
            share.x = m_fX;
            share.y = m_fY;
            share.z = m_fZ;
            share.volume = m_fVolume;
            io_pPass->objects.push_back(std::move(share));
        }
        if (!m_bGotBuffer) {
            bEndedImplicitly = true;
            m_eState = State::Ended;
            m_pStream->ObjectEndedLocked(this);
        }
    }
    if (m_eState != State::Ended && m_bEndOfStream) {
        m_eState = State::Ended;
        m_pStream->ObjectEndedLocked(this);
    }
    m_bGotBuffer = false;
    return bEndedImplicitly;
}

void AudioObject::RevokeLocked() {
    if (m_eState != State::Ended) {
        m_eState = State::Ended;
        m_pStream->ObjectEndedLocked(this);
    }
    m_bGotBuffer = false;
}

HRESULT AudioObject::UpdateAllowedLocked() {
    if (m_eState == State::Ended || m_pStream->LostLocked()) {
        return SPTLAUDCLNT_E_RESOURCES_INVALIDATED;
    }
    if (!m_pStream->InPassLocked()) {
        m_pStream->CountOutOfOrderLocked();
        return SPTLAUDCLNT_E_OUT_OF_ORDER;
    }
    return S_OK;
}

HRESULT AudioObject::GetBuffer(BYTE** buffer, UINT32* bufferLength) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectBase::GetBuffer");
    if (buffer == nullptr || bufferLength == nullptr) {
        return E_POINTER;
    }
    *buffer = nullptr;
    *bufferLength = 0;
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    const HRESULT hr = UpdateAllowedLocked();
    if (FAILED(hr)) {
        return hr;
    }
    m_eState = State::Alive;
    m_bGotBuffer = true;
    *buffer = m_pBuffer.get();
    *bufferLength = m_uBufferBytes;
    return S_OK;
}

HRESULT AudioObject::SetEndOfStream(UINT32 frameCount) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectBase::SetEndOfStream");
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    const HRESULT hr = UpdateAllowedLocked();
    if (FAILED(hr)) {
        return hr;
    }
    if (frameCount > m_pStream->FramesPerPass()) {
        return E_INVALIDARG;
    }
    m_bEndOfStream = true;
    m_uEndFrames = frameCount;
    return S_OK;
}

HRESULT AudioObject::IsActive(BOOL* isActive) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectBase::IsActive");
    if (isActive == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    *isActive = ActiveLocked() ? TRUE : FALSE;
    return S_OK;
}

HRESULT AudioObject::GetAudioObjectType(AudioObjectType* audioObjectType) {
    STANDIN_CALL_HRESULT("ISpatialAudioObjectBase::GetAudioObjectType");
    if (audioObjectType == nullptr) {
        return E_POINTER;
    }
    *audioObjectType = m_eType;
    return S_OK;
}

HRESULT AudioObject::SetPosition(float x, float y, float z) {
    STANDIN_CALL_HRESULT("ISpatialAudioObject::SetPosition");
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    const HRESULT hr = UpdateAllowedLocked();
    if (FAILED(hr)) {
        return hr;
    }
    if (!IsDynamic()) {
        return SPTLAUDCLNT_E_PROPERTY_NOT_SUPPORTED;
    }
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        return E_INVALIDARG;
    }
    m_fX = x;
    m_fY = y;
    m_fZ = z;
    return S_OK;
}

HRESULT AudioObject::SetVolume(float volume) {
    STANDIN_CALL_HRESULT("ISpatialAudioObject::SetVolume");
    std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
    const HRESULT hr = UpdateAllowedLocked();
    if (FAILED(hr)) {
        return hr;
    }
    if (!(volume >= 0.0f && volume <= 1.0f)) {  // also refuses NaN
        return E_INVALIDARG;
    }
    m_fVolume = volume;
    return S_OK;
}

}  // namespace detail
}  // namespace standin
