// The context the player hands to the sink: the shared context services plus the sink's own
// slots; GetBufferCount answers the scene's buffer count.
#pragma once

#include "HostPluginContext.h"
#include "ZvHostEngine.h"

namespace scene {

class SceneSinkContext final : public host::HostPluginContext<ZV::ISinkPluginContext> {
public:
    SceneSinkContext(host::HostGlobalContext& io_global, uint16_t in_uBufferCount)
        : HostPluginContext(io_global), m_uBufferCount(in_uBufferCount) {}

    bool IsPrimary() const override { return true; }
    ZvResult SignalAudioThread() override { return ZV_Success; }
    uint32_t GetOutputId() const override { return 0; }
    uint32_t GetSinkType() const override { return 0; }
    void HostReserved12() override {}
    uint16_t GetBufferCount() const override { return m_uBufferCount; }

private:
    uint16_t m_uBufferCount;
};

}  // namespace scene
