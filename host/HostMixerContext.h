// The test host's context of a mixer plug-in: the shared context services (HostPluginContext);
// the mixer's interface adds no slot of its own.
#pragma once

#include "HostPluginContext.h"
#include "ZvHostEngine.h"

namespace host {

class HostMixerContext final : public HostPluginContext<ZV::IMixerPluginContext> {
public:
    using HostPluginContext<ZV::IMixerPluginContext>::HostPluginContext;
};

}  // namespace host
