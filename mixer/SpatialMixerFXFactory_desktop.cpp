// The factory of the desktop build: the render stream is activated synchronously at InitPlugin
// and on a thread-pool thread after a loss.

#include "AssertHook.h"
#include "DesktopStreamActivation.h"
#include "SpatialMixerFX.h"
#include "SpatialMixerFXFactory.h"

namespace {
const DesktopStreamActivation kActivation;
}  // namespace

ZV::IPlugin* CreateSpatialMixerFX(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK("SpatialMixerFX", in_pAllocator != NULL);
    return SpatialMixerFX::Create(in_pAllocator, kActivation);
}
