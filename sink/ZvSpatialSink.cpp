// The engine-side sink library (ZvSpatialSink.dll): its registration list carries the sink.

#include "AssertHook.h"
#include "SinkRegistration.h"

// Engine libraries start with no assertion hook, and nothing in them sets one.
ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {
SinkRegistration s_sinkRegistration;
}  // namespace
