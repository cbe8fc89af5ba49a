// The registration records of the engine side that SpatialMixer carries (the desktop build of the
// mixer). Built in when ZV_SPATIALMIXER_ENGINE_LIBRARIES (tool/CMakeLists.txt) names the engine
// libraries. The mixer is registered first and its attachment second, so that the list reads
// 798, then 799; ZvGetSoundEngineCallbacks hands out the factories of these records.

#include "ZvPluginRegistration.h"
#include "ZvResult.h"

// The factories of the engine libraries.
ZV::IPlugin* CreateSpatialMixerFX(ZV::IPluginMemAlloc* in_pAllocator);
ZV::IPluginParam* CreateSpatialMixerFXParams(ZV::IPluginMemAlloc* in_pAllocator);
ZV::IPluginParam* CreateSpatialMixerFXAttachmentParams(ZV::IPluginMemAlloc* in_pAllocator);

namespace {

ZvPluginRegistration g_mixerRecord(ZvPluginTypeMixer, kZvCompanyId, kZvMixerPluginId,
                                   &CreateSpatialMixerFX, &CreateSpatialMixerFXParams);
ZvPluginRegistration g_attachmentRecord(ZvPluginTypeEffect, kZvCompanyId,
                                        kZvMixerAttachmentPluginId, nullptr,
                                        &CreateSpatialMixerFXAttachmentParams);

}  // namespace
