// The mixer's registered plug-in factory. Each build of the mixer defines it in its own library,
// with its own way of opening the render stream (MixerStreamActivation): zv_mixer_uwp (the
// asynchronous activation of Universal Windows apps, in SpatialMixerFX) and zv_mixer_desktop (the
// synchronous activation of the desktop, in SpatialMixer). A deliverable links exactly one.
#pragma once

#include "ZvHostEngine.h"

// A new mixer from in_pAllocator (zero-filled, then constructed), or null (no allocator, which is
// reported, or no memory).
ZV::IPlugin* CreateSpatialMixerFX(ZV::IPluginMemAlloc* in_pAllocator);
