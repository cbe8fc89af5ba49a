// The test host's context of an output-device (sink) plug-in: the shared context services
// (HostPluginContext, with the global context's frames per buffer) and the sink's own slots, of
// which plug-ins call only GetBufferCount.
//
// Threads: the buffer count is set before the plug-in is initialised and only read afterwards;
// the contract log is locked; the signal count is atomic (relaxed: read after the calls).
#pragma once

#include <stdint.h>

#include <atomic>
#include <string>
#include <vector>

#include "HostContractLog.h"
#include "HostPluginContext.h"
#include "ZvHostEngine.h"

namespace host {

class HostSinkContext final : public HostPluginContext<ZV::ISinkPluginContext> {
public:
    // in_uBufferCount: the host buffers the engine wants queued (GetBufferCount).
    explicit HostSinkContext(HostGlobalContext& io_globalContext, uint16_t in_uBufferCount = 2)
        : HostPluginContext<ZV::ISinkPluginContext>(io_globalContext),
          m_uBufferCount(in_uBufferCount) {}

    bool IsPrimary() const override { return true; }
    ZvResult SignalAudioThread() override {
        m_uSignals.fetch_add(1, std::memory_order_relaxed);
        return ZV_Success;
    }
    uint32_t GetOutputId() const override { return 0; }
    uint32_t GetSinkType() const override { return 0; }
    void HostReserved12() override {
        m_log.Record("ISinkPluginContext::HostReserved12 is not for plug-ins");
    }
    uint16_t GetBufferCount() const override { return m_uBufferCount; }

    void SetBufferCount(uint16_t in_uBufferCount) { m_uBufferCount = in_uBufferCount; }
    uint64_t AudioThreadSignals() const { return m_uSignals.load(std::memory_order_relaxed); }
    // Calls the plug-in should not have made.
    std::vector<std::string> Errors() const { return m_log.Errors(); }

private:
    uint16_t m_uBufferCount;
    std::atomic<uint64_t> m_uSignals{0};
    HostContractLog m_log;
};

}  // namespace host
