// The effect's engine library (SpatialEffect.dll of the console build): its registration list
// carries the effect.

#include "AssertHook.h"
#include "ISACFXRegistration.h"

// Engine libraries start with no assertion hook, and nothing in them sets one.
ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {
ISACFXRegistration s_effectRegistration;
}  // namespace
