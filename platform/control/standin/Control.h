// Controls of the stand-in platform for tests and the test host: fault injection, the log of
// platform calls, live-resource counts and a reset between tests. Not part of the Windows API;
// only code that runs on the stand-in includes it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {

// Names of calls, as faults and the call log use them: a plain function by its name
// ("CreateEventW", "CoCreateInstance", "CoTaskMemAlloc", "InitializeCriticalSectionEx",
// "CreateThreadpoolWork", "ActivateAudioInterfaceAsync", "RoGetActivationFactory", ...), a method
// by its interface and name ("IMMDeviceEnumerator::GetDefaultAudioEndpoint",
// "ISpatialAudioClient::ActivateSpatialAudioStream",
// "ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects",
// "ISpatialAudioObjectBase::GetBuffer", "ISpatialAudioObject::SetPosition", ...). A method is named
// after the interface that declares it, whichever derived interface the caller used.

// Makes the in_uNth call (1 = the next one) of in_name from now on fail with in_hr, and the
// in_uCount - 1 calls after it too (UINT32_MAX: every call from then on). A function that does not
// return an HRESULT fails the way its documentation says (FALSE or null, with the last error set to
// the HRESULT's code); CoTaskMemAlloc returns null.
void FailCall(const std::string& in_name, uint32_t in_uNth, HRESULT in_hr, uint32_t in_uCount = 1);
// Runs in_action on the calling thread at the start of every call of in_name from now on, before
// the call does anything, until ClearFaults or Reset: a test puts another thread's work at an
// exact point of a plug-in's sequence of calls (between two loads of a render worker, say). The
// action may make platform calls of its own; it must not arm or clear actions.
void OnCall(const std::string& in_name, std::function<void()> in_action);
void ClearFaults();

// Every platform call made since the last ClearCallLog or Reset, in order, by name (bounded to the
// latest 65536 calls), except entering and leaving a critical section, which cannot fail and are
// made too often to be worth a record. A test records one run and then fails each call in turn.
std::vector<std::string> CallLog();
void ClearCallLog();
uint64_t CallCount(const std::string& in_name);

// What is alive in the stand-in; a plug-in that cleaned up after itself leaves all of these at 0.
struct LiveCounts {
    size_t comObjects = 0;        // stand-in COM objects not yet destroyed
    size_t references = 0;        // sum of their reference counts
    size_t audioObjects = 0;      // ISpatialAudioObjects among them
    size_t eventHandles = 0;      // open handles to events
    size_t handles = 0;           // open kernel handles of any kind
    size_t workItems = 0;         // thread-pool work items not yet closed
    size_t runningCallbacks = 0;  // work callbacks running or queued
    size_t taskMemBlocks = 0;     // CoTaskMemAlloc blocks not yet freed
    size_t hstrings = 0;          // HSTRINGs not yet deleted
    size_t criticalSections = 0;  // initialised and not deleted
    size_t windows = 0;           // windows not yet destroyed
};
LiveCounts Live();

// Threads blocked in WaitForSingleObject on the event in_hEvent right now (0 for a handle that is
// not an event). Lets a test know that a thread has really begun its wait.
size_t WaitingThreads(HANDLE in_hEvent);

// Ends everything a test may have scripted: faults, the call log, the renderer's configuration
// (back to one default endpoint, stepped pacing, no capture) and its history. Live objects are
// not touched (a test checks Live() itself).
void Reset();

// True on a thread that is inside a stand-in call. Lets a test's allocation counter tell the
// plug-ins' own allocations from the platform's.
bool InsidePlatformCall();

}  // namespace standin
