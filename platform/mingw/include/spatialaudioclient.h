// MinGW-w64's spatial-audio client header, plus the client activation record it does not declare
// (the optional record of ISpatialAudioClient's activation, used by the platform for event
// tracing). This folder stands before MinGW's own on the include path of the Windows build.
#pragma once

#include_next <spatialaudioclient.h>

#include <guiddef.h>

typedef struct SpatialAudioClientActivationParams {
    GUID tracingContextId;
    GUID appId;
    int majorVersion;
    int minorVersion1;
    int minorVersion2;
    int minorVersion3;
} SpatialAudioClientActivationParams;

// The records that cross to the platform keep the sizes of the published headers.
static_assert(sizeof(SpatialAudioClientActivationParams) == 48, "client activation record");
static_assert(sizeof(SpatialAudioObjectRenderStreamActivationParams) ==
                  (sizeof(void*) == 8 ? 40 : 28),
              "stream activation record");
static_assert(sizeof(WAVEFORMATEX) == 18, "wave format record");
static_assert(sizeof(PROPVARIANT) == (sizeof(void*) == 8 ? 24 : 16), "PROPVARIANT");
