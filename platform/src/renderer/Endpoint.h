// One render endpoint (audio device) of the stand-in renderer. Clients, streams and devices hold it
// by shared pointer; it outlives its place as the default endpoint.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "standin/Renderer.h"

namespace standin {
namespace detail {

class EndpointState {
public:
    EndpointState(uint64_t in_uGeneration, const EndpointConfig& in_config)
        : m_uGeneration(in_uGeneration), m_config(in_config) {}

    // Set at creation, never changed: read without a lock.
    uint64_t Generation() const { return m_uGeneration; }
    const EndpointConfig& Config() const { return m_config; }
    // The id as GetDefaultAudioRenderId names the endpoint (a device-interface path).
    std::wstring DeviceInterfacePath() const;

    // Guarded by the renderer's mutex (RendererCore::Mutex).
    bool LostLocked() const { return m_bLost; }
    HRESULT LostResultLocked() const { return m_hrLost; }
    // Whether the streams of the lost device go on being signalled.
    bool SignalsWhileLostLocked() const { return m_bLost && m_bSignalWhileLost; }
    void LoseLocked(HRESULT in_hrBegin, bool in_bKeepSignalling) {
        m_bLost = true;
        m_hrLost = in_hrBegin;
        m_bSignalWhileLost = in_bKeepSignalling;
    }

private:
    const uint64_t m_uGeneration;
    const EndpointConfig m_config;
    bool m_bLost = false;
    HRESULT m_hrLost = S_OK;
    bool m_bSignalWhileLost = false;
};

// The interface class of audio render devices: the default-render interface id that
// ActivateAudioInterfaceAsync accepts, and the tail of every render device-interface path.
extern const wchar_t kRenderInterfaceClass[];

// Whether two formats describe the same samples (cbSize and any extension are not compared).
bool SameFormat(const WAVEFORMATEX& in_a, const WAVEFORMATEX& in_b);

// Case-insensitive comparison of ids and paths, as the device manager compares them.
bool SameDeviceId(const std::wstring& in_a, const std::wstring& in_b);

}  // namespace detail
}  // namespace standin
