// Opening a spatial-audio object render stream: the steps the sink, the effect and the mixer share.
//
// The synchronous route (sink, effect, desktop mixer) finds the default render endpoint of the
// console role, activates a spatial-audio client on it with the family's activation record, and
// then opens the stream on that client; the asynchronous route (the mixer's Universal Windows
// build) receives its client from the platform and opens the stream on it. Everything made along
// the way that the stream does not need afterwards (enumerator, endpoint, format enumerator,
// activation record) is released on every path. What is opened is handed over only on success, so
// a caller's earlier stream stays untouched when an open fails.
//
// Every open compares the caller's sample rate with the rate of the format the renderer offers
// (SampleRateMatch.h) before it asks for a stream: a renderer at another rate gets no stream, so
// that no sample is ever played at the wrong rate.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include <utility>

#include "ComPtr.h"
#include "HandleHolder.h"
#include "SampleRateMatch.h"

enum class DynamicObjectUse {
    None,      // no dynamic objects; the renderer's maximum is only reported
    Required,  // the stream takes every dynamic object granted (at most kMaxDynamicObjects)
};

struct SpatialStreamRequest {
    uint32_t uStaticObjectMask;  // AudioObjectType bits reserved for static objects
    DynamicObjectUse eDynamicObjects;
    bool bQueryMaxDynamicObjects;  // ask GetMaxDynamicObjectCount (implied by Required)
    int32_t iActivationMinorVersion3;
    bool bStartMustSucceed;  // a failed Start fails the open
    // The engine's rate, which the renderer's format must have (kUnstatedSampleRate: any rate).
    uint32_t uEngineSampleRate = kUnstatedSampleRate;
};

// Dynamic objects a stream of this family ever uses.
constexpr uint32_t kMaxDynamicObjects = 32;

struct SpatialStream {
    ComPtr<ISpatialAudioClient> client;
    ComPtr<ISpatialAudioObjectRenderStream> stream;
    HandleHolder event;               // auto-reset, signalled by the renderer for every pass
    uint32_t uFrameCount = 0;         // GetMaxFrameCount for the object format; never 0
    uint32_t uSampleRate = 0;         // the object format's frames per second
    uint32_t uMaxDynamicObjects = 0;  // the renderer's maximum, capped at kMaxDynamicObjects when
                                      // dynamic objects are required; 0 when not asked
};

enum class SpatialOpenResult {
    Opened,
    NoEndpoint,  // no device enumerator or no default render endpoint
    Failed,      // any other step failed
    WrongRate,   // the renderer offers another rate than the engine's: nothing was opened
};

// The synchronous route. On Opened, out_rStream holds the client, the started stream and its event.
// On WrongRate only its uSampleRate is written: the rate the renderer offers.
SpatialOpenResult OpenDefaultSpatialStream(const SpatialStreamRequest& in_request,
                                           SpatialStream& out_rStream);

// Opens the stream on io_rStream.client, which the caller has activated. On Opened, io_rStream
// also holds the started stream and its event; on failure the stream and event stay empty (and on
// WrongRate uSampleRate names the renderer's rate).
SpatialOpenResult OpenSpatialStreamOnClient(const SpatialStreamRequest& in_request,
                                            SpatialStream& io_rStream);
