// IMMDevice: one render endpoint as the device enumerator hands it out. Holds only its endpoint
// (constant); any thread may call it.
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>

#include <memory>

#include "ComObject.h"
#include "Endpoint.h"

namespace standin {
namespace detail {

class Device final : public ComObject<IMMDevice> {
public:
    explicit Device(std::shared_ptr<EndpointState> in_endpoint)
        : m_pEndpoint(std::move(in_endpoint)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD dwClsCtx, PROPVARIANT* pActivationParams,
                                       void** ppInterface) override;
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD stgmAccess,
                                                IPropertyStore** ppProperties) override;
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* ppstrId) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD* pdwState) override;

private:
    ~Device() override = default;
    const std::shared_ptr<EndpointState> m_pEndpoint;
};

}  // namespace detail
}  // namespace standin
