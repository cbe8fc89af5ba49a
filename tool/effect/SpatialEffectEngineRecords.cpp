// The registration record of the engine side that SpatialEffect carries (the desktop build of the
// effect). Built in when ZV_SPATIALEFFECT_ENGINE_LIBRARIES (tool/CMakeLists.txt) names the engine
// libraries.

#include "ZvPluginRegistration.h"
#include "ZvResult.h"

// The factories of the engine libraries.
ZV::IPlugin* CreateISACFXPlugin(ZV::IPluginMemAlloc* in_pAllocator);
ZV::IPluginParam* CreateISACFXParams(ZV::IPluginMemAlloc* in_pAllocator);

namespace {

ZvPluginRegistration g_effectRecord(ZvPluginTypeEffect, kZvCompanyId, kZvEffectPluginId,
                                    &CreateISACFXPlugin, &CreateISACFXParams);

}  // namespace
