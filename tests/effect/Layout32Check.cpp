// Compiled on its own with -m32 (never linked, never run): the layout facts of the 32-bit build,
// which the design-tool library that carries the effect is. The build of this file is the check.

#include <spatialaudioclient.h>
#include <windows.h>

#include <stddef.h>

#include "ISACFXPlugin.h"
#include "ISACFXRegistration.h"
#include "ZvPluginRegistration.h"

static_assert(sizeof(void*) == 4, "compile this check with -m32");

// The stream activation record travels as a blob of its own size.
static_assert(sizeof(SpatialAudioObjectRenderStreamActivationParams) == 28,
              "the stream activation record is 28 bytes in the 32-bit build");
static_assert(offsetof(SpatialAudioObjectRenderStreamActivationParams, EventHandle) == 20,
              "the event handle follows the five 32-bit fields");
static_assert(sizeof(SpatialAudioClientActivationParams) == 48,
              "the client activation record has no pointer");
static_assert(sizeof(PROPVARIANT) == 16, "PROPVARIANT of the 32-bit build");

// The registration record the host walks.
static_assert(sizeof(ZvPluginRegistration) == 40, "the registration record is 40 bytes");
static_assert(offsetof(ZvPluginRegistration, eType) == 4, "kind");
static_assert(offsetof(ZvPluginRegistration, uPluginId) == 12, "plug-in id");
static_assert(offsetof(ZvPluginRegistration, pCreatePlugin) == 16, "plug-in factory");
static_assert(offsetof(ZvPluginRegistration, pCreateParam) == 20, "parameter factory");
static_assert(offsetof(ZvPluginRegistration, pReserved1) == 24, "first reserved pointer");
static_assert(offsetof(ZvPluginRegistration, uExtra1) == 32, "first extra value");
static_assert(sizeof(ISACFXRegistration) == 40, "the effect's record is a plain record");

// What crosses to the host has no pointer in it and keeps its size.
static_assert(sizeof(ZvPluginInfo) == 12, "plug-in information");
static_assert(sizeof(ZvAudioFormat) == 8, "format record");
static_assert(sizeof(ZvSampleBuffer) == 16, "the host's buffer with a 32-bit data pointer");
