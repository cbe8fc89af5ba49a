// reactivation_timer: what one re-activation of the desktop mixer's render stream costs the
// engine's audio thread, on the renderer of the platform it runs on (the stand-in on Linux; Wine's
// under scripts/windows-test.sh).
//
//   reactivation_timer [COUNT]      COUNT re-activations of each kind (at least 20, 40 by default)
//
// Prints "key: value" lines, times in milliseconds, worst and median of each kind:
//   audio_thread      what FinishMix spends on one re-activation now: it hands the activation to
//                     a thread-pool thread (DesktopStreamActivation::Reopen) and returns
//   activation        how long that thread then takes until the activation completes
//   inline            the same release and activation made on the calling thread, as the audio
//                     thread made it before the activation moved off it
//   inline_bed        an opening of a 7.1.4 bed stream on the calling thread: what a stream that
//                     opens costs on a renderer that grants no dynamic objects (Wine's)
// and the outcome of the activations ("opened: N of COUNT").

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "AssertHook.h"
#include "DesktopRenderStream.h"
#include "DesktopStreamActivation.h"
#include "HostAllocator.h"
#include "SpatialStreamOpener.h"

namespace {

// The plug-in code's checks report here.
void PrintCheck(const char* in_pszExpression, const char* in_pszSource, int in_iLine) {
    std::fprintf(stderr, "check failed: %s (%s:%d)\n", in_pszExpression, in_pszSource, in_iLine);
}

}  // namespace

ZvAssertHook g_pfnZvAssertHook = &PrintCheck;

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration in_duration) {
    return std::chrono::duration<double, std::milli>(in_duration).count();
}

void PrintTimes(const char* in_pszKey, std::vector<double> io_times) {
    std::sort(io_times.begin(), io_times.end());
    std::printf("%s_worst_ms: %.3f\n%s_median_ms: %.3f\n", in_pszKey, io_times.back(), in_pszKey,
                io_times[io_times.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    const int iCount = argc > 1 ? std::max(20, std::atoi(argv[1])) : 40;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "no COM\n");
        return 1;
    }
    host::HostAllocator allocator;
    const DesktopStreamActivation activation;

    // As the mixer does it after a loss: the lost stream goes to the new one's activation.
    std::vector<double> audioThread;
    std::vector<double> completion;
    int iOpened = 0;
    MixerRenderStream* pStream = activation.Open(&allocator, kUnstatedSampleRate);
    for (int i = 0; i < iCount; ++i) {
        const Clock::time_point start = Clock::now();
        pStream = activation.Reopen(&allocator, kUnstatedSampleRate, pStream);
        const Clock::time_point handedOver = Clock::now();
        while (pStream != nullptr && pStream->ActivationPending()) {
            Sleep(0);
        }
        audioThread.push_back(Milliseconds(handedOver - start));
        completion.push_back(Milliseconds(Clock::now() - handedOver));
        iOpened += pStream != nullptr && pStream->State() == StreamRunning ? 1 : 0;
    }
    if (pStream != nullptr) {
        pStream->Release();
    }
    std::printf("opened: %d of %d\n", iOpened, iCount);
    PrintTimes("audio_thread", audioThread);
    PrintTimes("activation", completion);

    // The same on the calling thread: the earlier stream released, a new one activated.
    std::vector<double> inlineTimes;
    DesktopRenderStream* pInline = nullptr;
    for (int i = 0; i < iCount; ++i) {
        const Clock::time_point start = Clock::now();
        if (pInline != nullptr) {
            pInline->Release();
        }
        pInline = DesktopRenderStream::Create(&allocator, kUnstatedSampleRate);
        if (pInline != nullptr) {
            pInline->Activate();
        }
        inlineTimes.push_back(Milliseconds(Clock::now() - start));
    }
    if (pInline != nullptr) {
        pInline->Release();
    }
    PrintTimes("inline", inlineTimes);

    std::vector<double> bedTimes;
    const SpatialStreamRequest kBed = {0x1FFE, DynamicObjectUse::None, false, 2, false};
    int iBeds = 0;
    {
        SpatialStream bed;
        for (int i = 0; i < iCount; ++i) {
            const Clock::time_point start = Clock::now();
            // The stream holds the renderer's objects: it goes before its client.
            bed.stream.Reset();
            bed.client.Reset();
            bed.event.Reset();
            iBeds += OpenDefaultSpatialStream(kBed, bed) == SpatialOpenResult::Opened ? 1 : 0;
            bedTimes.push_back(Milliseconds(Clock::now() - start));
        }
    }
    std::printf("beds_opened: %d of %d\n", iBeds, iCount);
    PrintTimes("inline_bed", bedTimes);
    CoUninitialize();
    return 0;
}
