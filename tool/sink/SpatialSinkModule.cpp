// The SpatialSink library's own assertion hook. It starts at a function that does nothing.

#include "AssertHook.h"
#include "SilentAssertHook.h"

ZvAssertHook g_pfnZvAssertHook = &ZV::Orvel::IgnoreCheck;
