// The control API of standin/Renderer.h over the renderer's core (the asynchronous route's
// controls live with it, in AsyncActivation.cpp).

#include "CallScope.h"
#include "KernelObjects.h"
#include "RendererCore.h"
#include "standin/Renderer.h"

namespace standin {

WAVEFORMATEX FloatMonoFormat(uint32_t in_uSampleRate) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    format.nChannels = 1;
    format.nSamplesPerSec = in_uSampleRate;
    format.wBitsPerSample = 32;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = in_uSampleRate * 4;
    format.cbSize = 0;
    return format;
}

void SetDefaultEndpoint(const EndpointConfig& in_config) {
    detail::RendererCore::Instance().SetDefaultEndpoint(in_config);
}

void RemoveDefaultEndpoint() {
    detail::RendererCore::Instance().RemoveDefaultEndpoint();
}

EndpointConfig DefaultEndpoint() {
    return detail::RendererCore::Instance().DefaultEndpoint();
}

void SetPacing(Pacing in_pacing) {
    detail::RendererCore::Instance().SetPacing(in_pacing);
}

size_t Step(std::chrono::milliseconds in_timeout) {
    // The renderer's own bookkeeping: a test counting a client's allocations around a pass does
    // not count the step's.
    detail::InternalScope scope;
    return detail::RendererCore::Instance().Step(in_timeout);
}

uint64_t StepWakeups() {
    return detail::StepDebts::StepperWakeups();
}

bool WaitForStartedStreams(size_t in_count, std::chrono::milliseconds in_timeout) {
    return detail::RendererCore::Instance().WaitForStartedStreams(in_count, in_timeout);
}

size_t StartedStreamCount() {
    return detail::RendererCore::Instance().StartedStreamCount();
}

void DelaySignals(uint32_t in_uSteps) {
    detail::RendererCore::Instance().DelaySignals(in_uSteps);
}

void LoseDevice(HRESULT in_hrBegin, LostSignalling in_eSignalling) {
    detail::RendererCore::Instance().LoseDevice(in_hrBegin, in_eSignalling);
}

std::vector<ClientActivation> ClientActivations() {
    return detail::RendererCore::Instance().ClientActivations();
}

std::vector<StreamActivation> StreamActivations() {
    return detail::RendererCore::Instance().StreamActivations();
}

void CapturePasses(size_t in_uMaxPasses) {
    detail::RendererCore::Instance().CapturePasses(in_uMaxPasses);
}

std::vector<Pass> TakePasses() {
    return detail::RendererCore::Instance().TakePasses();
}

void RecyclePasses(std::vector<Pass>& io_passes) {
    detail::RendererCore::Instance().RecyclePasses(io_passes);
}

void SetPassObserver(std::function<void(const Pass&)> in_observer) {
    detail::RendererCore::Instance().SetPassObserver(std::move(in_observer));
}

std::vector<StreamStats> Streams() {
    return detail::RendererCore::Instance().Streams();
}

}  // namespace standin
