// The completion handler of the Universal Windows build's asynchronous activation: it names the
// default render endpoint through the Windows Runtime, activates the spatial-audio client on it
// with ActivateAudioInterfaceAsync, and when the platform calls ActivateCompleted opens and starts
// the dynamic-object render stream. From then on it is the mixer's render stream
// (MixerRenderStream): it owns the stream, its event, the renderer's limits and the stream state.
//
// A counted, agile platform object: IUnknown, IAgileObject and IMarshal (every IMarshal method
// goes to a free-threaded marshaler that the handler aggregates, or answers E_OUTOFMEMORY when
// that could not be made) answer with the primary interface,
// IActivateAudioInterfaceCompletionHandler with the handler interface. It lives in host-allocator
// memory and frees itself there when its last reference goes, which may be on the platform's
// completion thread.
//
// Threads: StartActivation runs on the audio thread; ActivateCompleted on a platform thread. The
// completion writes everything it opens, then the state (MixerRenderStream::Publish, release),
// then the completed flag (CompleteActivation, release, the last write of the completion); the
// audio thread polls the flag with acquire loads. The device id is written by StartActivation
// before the platform call and read only by the destructor. The reference count is an atomic
// changed with read-modify-write operations (acq_rel on release, so that the destroying thread sees
// every write of the others).
#pragma once

#include <mmdeviceapi.h>
#include <objidl.h>
#include <windows.h>

#include <atomic>

#include "ComPtr.h"
#include "HStringHolder.h"
#include "MixerRenderStream.h"
#include "ZvHostEngine.h"

class ActivationHandler final : public IMarshal,
                                public IActivateAudioInterfaceCompletionHandler,
                                public MixerRenderStream {
public:
    // A new handler holding one reference (the caller's), or null when in_pAllocator gives no
    // memory. Its activation asks for a stream at in_uEngineSampleRate (MixerRenderStream).
    static ActivationHandler* Create(ZV::IPluginMemAlloc* in_pAllocator,
                                     uint32_t in_uEngineSampleRate);

    // Starts the activation. Returns the platform's result; on any failure the handler is
    // completed with StreamClosed at once.
    HRESULT StartActivation();
    // Once true, the state and the renderer's limits are final (until the render worker marks the
    // stream lost).
    bool IsCompleted() const { return !ActivationPending(); }

    // IUnknown (one count for every interface)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IMarshal
    HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID riid, void* pv, DWORD dwDestContext,
                                                void* pvDestContext, DWORD mshlflags,
                                                CLSID* pCid) override;
    HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID riid, void* pv, DWORD dwDestContext,
                                                void* pvDestContext, DWORD mshlflags,
                                                DWORD* pSize) override;
    HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* pStm, REFIID riid, void* pv,
                                               DWORD dwDestContext, void* pvDestContext,
                                               DWORD mshlflags) override;
    HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* pStm, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* pStm) override;
    HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD dwReserved) override;

    // IActivateAudioInterfaceCompletionHandler: always S_OK.
    HRESULT STDMETHODCALLTYPE
    ActivateCompleted(IActivateAudioInterfaceAsyncOperation* activateOperation) override;

private:
    ActivationHandler(ZV::IPluginMemAlloc* in_pAllocator, uint32_t in_uEngineSampleRate);
    ~ActivationHandler();

    // The free-threaded marshaler's IMarshal, for one forwarded call.
    bool Marshaler(ComPtr<IMarshal>& out_rMarshaler);
    HRESULT ReadDefaultRenderId();
    // Ends the activation: releases what it opened, sets in_eState, then completed.
    void Fail(StreamState in_eState);

    std::atomic<ULONG> m_uRefs{1};
    ZV::IPluginMemAlloc* const m_pAllocator;
    ComPtr<IUnknown> m_marshaler;  // the aggregated marshaler's own IUnknown
    HStringHolder m_deviceId;
};
