// The engine library SpatialMixerFX: its registration records and its assertion hook, which an
// engine library leaves null.
#include "AssertHook.h"
#include "SpatialMixerFXRegistration.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

ZV_REGISTER_SPATIAL_MIXER_FX();
