// The test host's context of an effect plug-in: the shared context services (HostPluginContext:
// the global context, and the messages the effect posts, kept for tests in its HostMonitorLog);
// the effect's interface adds no slot of its own.
#pragma once

#include "HostPluginContext.h"
#include "ZvHostEngine.h"

namespace host {

class HostEffectContext final : public HostPluginContext<ZV::IEffectPluginContext> {
public:
    using HostPluginContext<ZV::IEffectPluginContext>::HostPluginContext;
};

}  // namespace host
