// ISpatialAudioClient of one endpoint, and the activation of a client that the device's Activate
// and the asynchronous route share. The client keeps only its endpoint, which is constant; what
// can change (the endpoint's loss, the other streams) is read under the renderer's mutex.
#pragma once

#include <windows.h>

#include <spatialaudioclient.h>

#include <memory>

#include "ComObject.h"
#include "Endpoint.h"

namespace standin {
namespace detail {

class SpatialClient final : public ComObject<ISpatialAudioClient> {
public:
    explicit SpatialClient(std::shared_ptr<EndpointState> in_endpoint)
        : m_pEndpoint(std::move(in_endpoint)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE GetStaticObjectPosition(AudioObjectType type, float* x, float* y,
                                                      float* z) override;
    HRESULT STDMETHODCALLTYPE GetNativeStaticObjectTypeMask(AudioObjectType* mask) override;
    HRESULT STDMETHODCALLTYPE GetMaxDynamicObjectCount(UINT32* value) override;
    HRESULT STDMETHODCALLTYPE
    GetSupportedAudioObjectFormatEnumerator(IAudioFormatEnumerator** enumerator) override;
    HRESULT STDMETHODCALLTYPE GetMaxFrameCount(const WAVEFORMATEX* objectFormat,
                                               UINT32* frameCountPerBuffer) override;
    HRESULT STDMETHODCALLTYPE
    IsAudioObjectFormatSupported(const WAVEFORMATEX* objectFormat) override;
    HRESULT STDMETHODCALLTYPE
    IsSpatialAudioStreamAvailable(REFIID streamUuid, const PROPVARIANT* auxiliaryInfo) override;
    HRESULT STDMETHODCALLTYPE ActivateSpatialAudioStream(const PROPVARIANT* activationParams,
                                                         REFIID riid, void** stream) override;

private:
    ~SpatialClient() override = default;
    bool Offers(const WAVEFORMATEX& in_format) const;

    const std::shared_ptr<EndpointState> m_pEndpoint;
};

// Activates a spatial-audio client on in_endpoint with the optional activation record and
// records the activation. in_hrScripted (asynchronous route) replaces the activation by that
// failure. Returns the activation's result and, on success, the client's IUnknown.
HRESULT ActivateSpatialClient(const std::shared_ptr<EndpointState>& in_endpoint,
                              const PROPVARIANT* in_pParams, bool in_bAsynchronous,
                              HRESULT in_hrScripted, IUnknown** out_ppClient);

}  // namespace detail
}  // namespace standin
