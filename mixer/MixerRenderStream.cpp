#include "MixerRenderStream.h"

#include <utility>

SpatialStreamRequest MixerRenderStream::AtEngineRate(const SpatialStreamRequest& in_request) const {
    SpatialStreamRequest request = in_request;
    request.uEngineSampleRate = m_uEngineSampleRate;
    return request;
}

void MixerRenderStream::Conclude(SpatialOpenResult in_eResult, SpatialStream&& io_opened) {
    if (in_eResult == SpatialOpenResult::Opened) {
        Publish(std::move(io_opened));
        return;
    }
    if (in_eResult == SpatialOpenResult::WrongRate) {
        m_uRefusedSampleRate = io_opened.uSampleRate;
    }
    Drop(StreamClosed);
}

void MixerRenderStream::Publish(SpatialStream&& io_opened) {
    m_opened = std::move(io_opened);
    m_eState.store(StreamRunning, std::memory_order_release);
}

void MixerRenderStream::Drop(StreamState in_eState) {
    m_eState.store(in_eState, std::memory_order_release);
    // The stream holds the renderer's objects; it goes before the client, and both before the
    // event that the stream was opened with.
    m_opened.stream.Reset();
    m_opened.client.Reset();
    m_opened.event.Reset();
    m_opened.uFrameCount = 0;
    m_opened.uMaxDynamicObjects = 0;
}
