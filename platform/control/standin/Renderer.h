// The stand-in spatial renderer as tests and the test host script and inspect it.
//
// It honours the documented behaviour of the real renderer: one default render endpoint (or none),
// the formats it offers, the frame count per pass, the dynamic-object grant, pass order and
// SPTLAUDCLNT_E_OUT_OF_ORDER, buffers zeroed at each Begin, the implicit end of an object whose
// GetBuffer is skipped in a pass, object limits and the activation error codes, and the stream's
// own duplicate of the event handle.
//
// Dynamic objects are an endpoint-wide resource, as on Windows: every stream of an endpoint holds
// max(its MinDynamicObjectCount, its active dynamic objects), plus one for each static type of its
// mask that the endpoint does not render natively (the low-frequency type excepted); a stream's
// MinDynamicObjectCount, or a dynamic object beyond it, must fit into what the others leave of the
// grant (SPTLAUDCLNT_E_NO_MORE_OBJECTS otherwise). An object stops counting when it ends or is
// released.
//
// Pacing. RealTime: a renderer thread signals each started stream's event once per period by the
// clock. Stepped (the default): nothing happens until Step(), which runs exactly one pass of every
// started stream and waits until each client has ended it. In stepped pacing, time is the
// renderer's: every Step advances a renderer clock by one period, and a wait with a time-out on a
// stream's event expires when that clock (not the wall clock) has advanced past it, so a slow test
// never sees a spurious time-out. Waitable timers (CreateWaitableTimerExW) run on renderer time
// too: each Step moves it on by one period of the default endpoint (of the latest one while there
// is none) and fires the timers due by then. A wait on a stepped stream's event or on a timer also
// ends at once (as a time-out) when the thread-pool work it runs in is being waited for
// (WaitForThreadpoolWorkCallbacks), so that a plug-in's termination never waits for a Step that
// will not come.
#pragma once

#include <audioclient.h>
#include <spatialaudioclient.h>
#include <windows.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {

// 32-bit float, mono, 48 kHz: the format the usual endpoint offers.
WAVEFORMATEX FloatMonoFormat(uint32_t in_uSampleRate = 48000);

struct EndpointConfig {
    std::wstring id = L"{0.0.0.00000000}.{7d5c5a8e-41f2-4b8e-9d1a-2f3c4b5a6d7e}";
    std::vector<WAVEFORMATEX> formats = {FloatMonoFormat()};
    uint32_t frameCount = 480;           // GetMaxFrameCount and the frames of every pass
    uint32_t maxDynamicObjects = 16;     // GetMaxDynamicObjectCount; 0 = spatial sound off
    uint32_t nativeStaticMask = 0x1FFE;  // a 7.1.4 bed
    // Frames of each object buffer that GetBuffer hands out; 0 = frameCount. A smaller value lets
    // tests check that a client never writes past a buffer.
    uint32_t bufferFrames = 0;
    // Frame count that BeginUpdatingAudioObjects reports; 0 = frameCount.
    uint32_t reportedFrameCount = 0;
};

// Installs a new default render endpoint (a new device: streams of the old one are not moved).
void SetDefaultEndpoint(const EndpointConfig& in_config);
// No default render endpoint from now on: GetDefaultAudioEndpoint answers E_NOTFOUND and
// GetDefaultAudioRenderId fails.
void RemoveDefaultEndpoint();
EndpointConfig DefaultEndpoint();

enum class Pacing { Stepped, RealTime };
void SetPacing(Pacing in_pacing);

// Stepped pacing: advances timer time by one period (firing the timers due by then) and the
// renderer clock of every stream by one period (which also expires waits on lost streams), then
// runs that period's pass of every started stream that is not lost (signals its event and waits
// until its client has called EndUpdatingAudioObjects). Then it waits until every thread it set
// going (a client that ended a pass, a wait that expired, a timer's waiter), and every work
// callback submitted that has not blocked yet, is back in a blocking
// wait of the platform (a wait with a time-out, Sleep, WaitForThreadpoolWorkCallbacks), has left
// its work callback or has ended: after a Step every render worker has settled. All of it within
// in_timeout of wall time. Returns the number of streams whose pass ended. A client's wait that
// starts after its pass therefore starts at the time of that pass: a 100 ms wait on a stream that
// is no longer signalled ends with the tenth Step after it began. Does nothing (0) in real-time
// pacing.
size_t Step(std::chrono::milliseconds in_timeout = std::chrono::seconds(5));

// How often a Step's wait was woken by the threads it waits for, since the process began. Only the
// last of them to settle wakes it, and only if it is already waiting: at most once per Step,
// however many streams, timers and waits the step set going.
uint64_t StepWakeups();

// Stepped pacing: the next in_uSteps steps move time on but signal no stream, as a renderer that
// is late for its passes (waits on the events may expire meanwhile).
void DelaySignals(uint32_t in_uSteps);

// Waits (bounded, wall time) until at least in_count streams are started (and not lost). Returns
// whether they are.
bool WaitForStartedStreams(size_t in_count,
                           std::chrono::milliseconds in_timeout = std::chrono::seconds(5));
size_t StartedStreamCount();

// What becomes of a lost device's events. A renderer may stop signalling them; Wine's renderer,
// whose audio server went away, goes on signalling every period (and Begin fails each time).
enum class LostSignalling { Stops, Continues };

// The device of the current default endpoint is lost from now on: its streams' events are no
// longer signalled (or, with LostSignalling::Continues, still are, once per period, without a
// pass ever being waited for), and Begin on them fails with in_hrBegin (other update calls on
// them fail with SPTLAUDCLNT_E_RESOURCES_INVALIDATED). It stays the default endpoint until
// SetDefaultEndpoint or RemoveDefaultEndpoint; activating a client or a stream on it fails with
// AUDCLNT_E_DEVICE_INVALIDATED. A new endpoint (SetDefaultEndpoint) is a working device.
void LoseDevice(HRESULT in_hrBegin = AUDCLNT_E_DEVICE_INVALIDATED,
                LostSignalling in_eSignalling = LostSignalling::Stops);

// The asynchronous activation route (ActivateAudioInterfaceAsync). While held, completions are
// not delivered; releasing delivers the held ones. Dropped completions are never delivered (the
// operation is still released). Reset drops held completions. The path that activates is the one
// GetDefaultAudioRenderId returns, or the render interface class
// "{E6327CAD-DCEC-4949-AE8A-991E976A79D2}"; any other path (an IMMDevice id among them) or no
// default endpoint completes with the activation result E_NOTFOUND. Completions run one at a
// time, in order, on one completion thread.
enum class Completion { Deliver, Hold, Drop };
void SetCompletion(Completion in_mode);
// The activation result that the next asynchronous activations report instead of activating
// (S_OK: activate normally).
void SetActivationResult(HRESULT in_hr);
// Waits (bounded) until every delivered completion has returned.
bool WaitForCompletions(std::chrono::milliseconds in_timeout = std::chrono::seconds(5));
// Thread ids on which completion handlers ran.
std::vector<DWORD> CompletionThreads();

// What arrived at activation.
struct ClientActivation {
    bool hasParams = false;  // a PROPVARIANT was passed
    VARTYPE vt = VT_EMPTY;
    ULONG blobSize = 0;
    SpatialAudioClientActivationParams params = {};  // valid when the blob held 48 bytes
    HRESULT result = S_OK;
    bool asynchronous = false;
};
std::vector<ClientActivation> ClientActivations();

struct StreamActivation {
    VARTYPE vt = VT_EMPTY;
    ULONG blobSize = 0;
    WAVEFORMATEX objectFormat = {};
    uint32_t staticObjectTypeMask = 0;
    uint32_t minDynamicObjectCount = 0;
    uint32_t maxDynamicObjectCount = 0;
    uint32_t category = 0;
    bool hadEventHandle = false;
    bool hadNotifyObject = false;
    HRESULT result = S_OK;
    uint64_t streamId = 0;  // 0 when activation failed
};
std::vector<StreamActivation> StreamActivations();

// One object's share of one pass.
struct ObjectPass {
    uint64_t objectId = 0;  // unique for the renderer's life
    AudioObjectType type = AudioObjectType_None;
    bool gotBuffer = false;      // GetBuffer was called in this pass
    std::vector<float> samples;  // the buffer at End, as 32-bit floats
    float x = 0, y = 0, z = 0;   // position at End (dynamic objects)
    float volume = 1.0f;         // volume at End
};

struct Pass {
    uint64_t streamId = 0;
    uint64_t index = 0;  // 0 for a stream's first pass
    uint32_t frames = 0;
    std::vector<ObjectPass> objects;  // active objects, in activation order
};

// Keeps the latest in_uMaxPasses passes (0: capture off, the default).
void CapturePasses(size_t in_uMaxPasses);
std::vector<Pass> TakePasses();
// Gives taken passes back once they are used: their objects' sample buffers hold the samples of
// later captured passes, which then allocate no buffers of their own (io_passes is left empty).
// The renderer keeps at most kMaxRecycledSampleBuffers of them (a few seconds of a large scene's
// passes in flight); Reset drops them.
void RecyclePasses(std::vector<Pass>& io_passes);
constexpr size_t kMaxRecycledSampleBuffers = 4096;
// Called at the end of every pass, on the client's thread inside EndUpdatingAudioObjects, for
// streaming a long run to a file; null to remove.
void SetPassObserver(std::function<void(const Pass&)> in_observer);

struct StreamStats {
    uint64_t streamId = 0;
    bool started = false;
    bool lost = false;
    uint64_t signalled = 0;        // events signalled
    uint64_t passes = 0;           // Begin/End pairs completed
    uint64_t missedPasses = 0;     // signals not answered by a Begin before the next signal
    uint64_t outOfOrderCalls = 0;  // calls refused with SPTLAUDCLNT_E_OUT_OF_ORDER
    uint64_t objectsEndedImplicitly = 0;
};
std::vector<StreamStats> Streams();

}  // namespace standin
