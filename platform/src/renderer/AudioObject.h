// ISpatialAudioObject of the stand-in renderer: one static or dynamic object of a render stream,
// with its buffer (made at activation), position and volume.
//
// Threads: the client calls from its pass thread (or any thread for IsActive and the type). The
// buffer is written by the client between Begin and End without a lock (see RenderStream);
// every other field except the constant ones is guarded by the renderer's mutex.
#pragma once

#include <windows.h>

#include <spatialaudioclient.h>

#include <cstdint>
#include <memory>

#include "ComObject.h"
#include "standin/Renderer.h"

namespace standin {
namespace detail {

class RenderStream;

class AudioObject final : public ComObject<ISpatialAudioObject> {
public:
    // With the renderer's mutex held. The object holds a reference to its stream.
    AudioObject(RenderStream* in_pStream, uint64_t in_uId, AudioObjectType in_eType);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    // ISpatialAudioObjectBase
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** buffer, UINT32* bufferLength) override;
    HRESULT STDMETHODCALLTYPE SetEndOfStream(UINT32 frameCount) override;
    HRESULT STDMETHODCALLTYPE IsActive(BOOL* isActive) override;
    HRESULT STDMETHODCALLTYPE GetAudioObjectType(AudioObjectType* audioObjectType) override;
    // ISpatialAudioObject
    HRESULT STDMETHODCALLTYPE SetPosition(float x, float y, float z) override;
    HRESULT STDMETHODCALLTYPE SetVolume(float volume) override;

    AudioObjectType Type() const { return m_eType; }
    bool IsDynamic() const { return m_eType == AudioObjectType_Dynamic; }

    // ---- With the renderer's mutex held ----
    // Activated and not ended, revoked or lost with its device.
    bool ActiveLocked() const;
    bool EndedLocked() const { return m_eState == State::Ended; }
    // Begin: the buffer is zeroed for the new pass.
    void BeginPassLocked();
    // End: adds the object's share of the pass to io_pPass (when given) and ends the object if
    // it lived and got no buffer in this pass, or if its end of stream was set. Returns whether
    // the renderer ended it implicitly.
    bool EndPassLocked(Pass* io_pPass);
    // Stream Reset: the object is revoked.
    void RevokeLocked();

private:
    enum class State { Waiting, Alive, Ended };  // Alive from the first GetBuffer
    ~AudioObject() override;
    // The result of an update call in the object's present state (S_OK when it may go ahead).
    HRESULT UpdateAllowedLocked();

    RenderStream* const m_pStream;
    const uint64_t m_uId;
    const AudioObjectType m_eType;
    const uint32_t m_uBufferBytes;
    const std::unique_ptr<BYTE[]> m_pBuffer;

    // Guarded by the renderer's mutex.
    State m_eState = State::Waiting;
    bool m_bGotBuffer = false;  // in the current pass
    bool m_bEndOfStream = false;
    uint32_t m_uEndFrames = 0;
    float m_fX = 0.0f;
    float m_fY = 0.0f;
    float m_fZ = 0.0f;
    float m_fVolume = 1.0f;
};

}  // namespace detail
}  // namespace standin
