// The part every test-host context shares (slots 1 to 7 of IPluginContextBase): the global
// context, identity, and the monitoring data and messages a plug-in posts, kept in a
// HostMonitorLog. TInterface is the context interface of the plug-in kind (IMixerPluginContext,
// IEffectPluginContext, ISinkPluginContext); a kind's own context derives from this and adds its
// slots.
//
// Monitoring data can also go on to a design-tool object, as in the design tool: ForwardMonitorData
// hands every record that is posted to a MonitorDataRouter under the given instance id.
//
// Threads: as HostMonitorLog (and MonitorDataRouter::Post for forwarded records); the rest is set
// before the plug-in runs and only read afterwards.
#pragma once

#include <stdint.h>

#include "HostGlobalContext.h"
#include "HostMonitorLog.h"
#include "MonitorDataRouter.h"
#include "ZvHostEngine.h"

namespace host {

template <typename TInterface>
class HostPluginContext : public TInterface {
public:
    explicit HostPluginContext(HostGlobalContext& io_globalContext, uint32_t in_uNodeId = 1,
                               uint32_t in_uPluginInstanceId = 1)
        : m_pGlobalContext(&io_globalContext),
          m_uNodeId(in_uNodeId),
          m_uPluginInstanceId(in_uPluginInstanceId) {}

    ZV::IGlobalPluginContext* GlobalContext() const override { return m_pGlobalContext; }
    uint32_t GetNodeId() const override { return m_uNodeId; }
    bool IsSendModeEffect() const override { return false; }
    uint32_t GetPluginInstanceId() const override { return m_uPluginInstanceId; }
    ZvResult PostMonitorData(const void* in_pData, uint32_t in_uDataSize) override {
        const ZvResult eResult = m_monitorLog.AddData(in_pData, in_uDataSize);
        if (eResult == ZV_Success && m_pRouter != nullptr) {
            m_pRouter->Post(m_uRoutedInstanceId, in_pData, in_uDataSize);
        }
        return eResult;
    }
    bool CanPostMonitorData() override { return m_monitorLog.CanPostData(); }
    ZvResult PostMonitorMessage(const char* in_pszMessage, uint32_t in_eLevel) override {
        return m_monitorLog.AddMessage(in_pszMessage, in_eLevel);
    }

    // Records posted from now on also go to in_pRouter (not owned; null stops) for
    // in_uInstanceId.
    void ForwardMonitorData(MonitorDataRouter* in_pRouter, uint32_t in_uInstanceId) {
        m_pRouter = in_pRouter;
        m_uRoutedInstanceId = in_uInstanceId;
    }

    HostGlobalContext& Global() { return *m_pGlobalContext; }
    HostMonitorLog& MonitorLog() { return m_monitorLog; }

private:
    HostGlobalContext* m_pGlobalContext;
    uint32_t m_uNodeId;
    uint32_t m_uPluginInstanceId;
    HostMonitorLog m_monitorLog;
    MonitorDataRouter* m_pRouter = nullptr;
    uint32_t m_uRoutedInstanceId = 0;
};

}  // namespace host
