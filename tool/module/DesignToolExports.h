// The functions a design-tool library exports besides its registration list g_pZVPluginList.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "IAudioPlugin.h"
#include "ZvPluginRegistration.h"

extern "C" {

// A new design-tool plug-in object for the pair, or null (an unknown pair, or no memory). The
// design tool ends it with its DestroyPlugin.
__declspec(dllexport) ZV::Orvel::IAudioPlugin* ZvCreatePlugin(uint16_t in_uCompanyId,
                                                              uint16_t in_uPluginId);

// SpatialMixer only: the engine-side create functions of the pair, the same ones its
// registration records hold. True for every pair; an unknown pair leaves both outputs as they
// were, and a null output is skipped.
__declspec(dllexport) bool ZvGetSoundEngineCallbacks(uint16_t in_uCompanyId, uint16_t in_uPluginId,
                                                     ZvCreatePluginFn* out_pfnEngineCreate,
                                                     ZvCreateParamFn* out_pfnParameterCreate);
}

typedef ZV::Orvel::IAudioPlugin* (*ZvCreatePluginExport)(uint16_t in_uCompanyId,
                                                         uint16_t in_uPluginId);
typedef bool (*ZvGetSoundEngineCallbacksExport)(uint16_t in_uCompanyId, uint16_t in_uPluginId,
                                                ZvCreatePluginFn* out_pfnEngineCreate,
                                                ZvCreateParamFn* out_pfnParameterCreate);
