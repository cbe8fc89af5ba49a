// A small client written the way the plug-ins use the renderer: it opens the default endpoint,
// activates a stream with the twelve bed types, and runs a thread-pool worker that waits for each
// pass (at most 100 ms), fills the bed objects (a sine on front left, silence elsewhere) and ends
// the pass. Close stops the worker and releases everything.
//
// Threads: Open and Close run on the caller's thread; the worker on a pool thread. They share
// m_bRunning (written by Close, read by the worker; release/acquire), m_uPasses and m_uFailures
// (written by the worker, read by anyone; release/acquire). Everything else is set by Open before
// the worker starts and read by the worker only.
#pragma once

#include <windows.h>

#include <mmdeviceapi.h>
#include <spatialaudioclient.h>

#include <atomic>
#include <cstdint>

namespace testing_support {

class BedSineClient {
public:
    static constexpr uint32_t kBedMask = 0x1FFE;
    static constexpr int kBedObjects = 12;

    BedSineClient() = default;
    ~BedSineClient() { Close(); }
    BedSineClient(const BedSineClient&) = delete;
    BedSineClient& operator=(const BedSineClient&) = delete;

    // The front-left sample of frame in_uFrame (counted from the first pass).
    static float Sample(uint64_t in_uFrame);

    // Opens everything and starts the worker, which writes the sine for in_uSinePasses passes and
    // silence after them. Returns the first failure, or S_OK.
    HRESULT Open(uint32_t in_uSinePasses);
    void Close();

    uint64_t Passes() const { return m_uPasses.load(std::memory_order_acquire); }
    uint64_t Failures() const { return m_uFailures.load(std::memory_order_acquire); }

private:
    static VOID CALLBACK Work(PTP_CALLBACK_INSTANCE, PVOID pvContext, PTP_WORK);
    void Run();

    ISpatialAudioClient* m_pClient = nullptr;
    ISpatialAudioObjectRenderStream* m_pStream = nullptr;
    ISpatialAudioObject* m_apObjects[kBedObjects] = {};
    HANDLE m_hEvent = nullptr;
    PTP_WORK m_pWork = nullptr;
    uint32_t m_uFrames = 0;
    uint32_t m_uSinePasses = 0;
    std::atomic<bool> m_bRunning{false};
    std::atomic<uint64_t> m_uPasses{0};
    std::atomic<uint64_t> m_uFailures{0};
};

}  // namespace testing_support
