// The test host's context of a sink (output device) plug-in: the shared context services
// (HostPluginContext) and the sink's own slots, of which the sink calls GetBufferCount: the number
// of host buffers the engine wants queued.
#pragma once

#include <stdint.h>

#include "HostPluginContext.h"
#include "ZvHostEngine.h"

namespace host {

class HostSinkContext final : public HostPluginContext<ZV::ISinkPluginContext> {
public:
    explicit HostSinkContext(HostGlobalContext& io_globalContext, uint16_t in_uBufferCount = 2)
        : HostPluginContext<ZV::ISinkPluginContext>(io_globalContext),
          m_uBufferCount(in_uBufferCount) {}

    bool IsPrimary() const override { return true; }
    ZvResult SignalAudioThread() override { return ZV_Success; }
    uint32_t GetOutputId() const override { return 0; }
    uint32_t GetSinkType() const override { return 0; }
    void HostReserved12() override {}
    uint16_t GetBufferCount() const override { return m_uBufferCount; }

private:
    uint16_t m_uBufferCount;
};

}  // namespace host
