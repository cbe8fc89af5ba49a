// The factory of the Universal Windows build: the render stream is activated asynchronously.

#include "AssertHook.h"
#include "AsyncStreamActivation.h"
#include "SpatialMixerFX.h"
#include "SpatialMixerFXFactory.h"

namespace {
const AsyncStreamActivation kActivation;
}  // namespace

ZV::IPlugin* CreateSpatialMixerFX(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK("SpatialMixerFX", in_pAllocator != NULL);
    return SpatialMixerFX::Create(in_pAllocator, kActivation);
}
