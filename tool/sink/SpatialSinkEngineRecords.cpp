// The registration record of the engine side that SpatialSink carries (the desktop build of the
// sink). Built in when ZV_SPATIALSINK_ENGINE_LIBRARIES (tool/CMakeLists.txt) names the engine
// libraries.

#include "ZvPluginRegistration.h"
#include "ZvResult.h"

// The factories of the engine libraries.
ZV::IPlugin* CreateZvSinkISAC(ZV::IPluginMemAlloc* in_pAllocator);
ZV::IPluginParam* CreateSinkPluginParams(ZV::IPluginMemAlloc* in_pAllocator);

namespace {

ZvPluginRegistration g_sinkRecord(ZvPluginTypeSink, kZvCompanyId, kZvSinkPluginId,
                                  &CreateZvSinkISAC, &CreateSinkPluginParams);

}  // namespace
