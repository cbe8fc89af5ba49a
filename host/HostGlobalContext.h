// The test host's global context: the frame size and the two mixing services the plug-ins call,
// done for real so that tests can check what reaches a bus.
//
// Ramps. A gain ramp from p to n over F frames applies p + (n - p) * t / F at frame t (t = 0 to
// F - 1): it starts at p and heads for n, which the next buffer starts from.
//
// MixWithVolumes adds every input channel i into every output channel o with the gain
// m(i, o, t) * g(t), where g is the gain ramp and m ramps the same way from the previous matrix's
// entry (i, o) to the next one's. Matrix rows are input channels, columns output channels, both in
// buffer order; the padding at the end of each row is never read. F is the input's uValidFrames;
// the output's uValidFrames is left for the caller to set.
//
// Threads: the services are called on the audio thread; they keep no state apart from call counts
// (atomics, relaxed: tests read them after the calls) and the contract log (locked).
#pragma once

#include <stdint.h>

#include <atomic>
#include <string>
#include <vector>

#include "HostContractLog.h"
#include "ZvHostEngine.h"

namespace host {

class HostGlobalContext final : public ZV::IGlobalPluginContext {
public:
    explicit HostGlobalContext(uint16_t in_uFramesPerBuffer = 512, uint32_t in_uSampleRate = 48000);

    bool IsRenderingOffline() const override { return false; }
    uint16_t GetFramesPerBuffer() const override { return m_uFramesPerBuffer; }
    uint32_t GetSampleRate() const override { return m_uSampleRate; }
    uint32_t GetHostVersion() const override { return kHostVersion; }
    void HostReserved5() override { Unexpected("HostReserved5"); }
    void HostReserved6() override { Unexpected("HostReserved6"); }
    void HostReserved7() override { Unexpected("HostReserved7"); }
    void HostReserved8() override { Unexpected("HostReserved8"); }
    void HostReserved9() override { Unexpected("HostReserved9"); }
    void HostReserved10() override { Unexpected("HostReserved10"); }
    void HostReserved11() override { Unexpected("HostReserved11"); }
    void HostReserved12() override { Unexpected("HostReserved12"); }
    void MixWithVolumes(const ZvSampleBuffer* in_pInput, ZvSampleBuffer* io_pOutput,
                        float in_fPrevGain, float in_fNextGain,
                        const ZV::SpeakerVolumeMatrix& in_prevVolumes,
                        const ZV::SpeakerVolumeMatrix& in_nextVolumes) override;
    void HostReserved14() override { Unexpected("HostReserved14"); }
    void AddChannelRamped(const float* in_pSource, float* io_pDestination, float in_fPrevGain,
                          float in_fNextGain, uint32_t in_uFrames) override;

    uint64_t MixWithVolumesCalls() const { return m_uMixCalls.load(std::memory_order_relaxed); }
    uint64_t AddChannelRampedCalls() const { return m_uAddCalls.load(std::memory_order_relaxed); }
    std::vector<std::string> Errors() const { return m_log.Errors(); }

    static constexpr uint32_t kHostVersion = 0x20160002;

private:
    void Unexpected(const char* in_pszSlot);

    uint16_t m_uFramesPerBuffer;
    uint32_t m_uSampleRate;
    std::atomic<uint64_t> m_uMixCalls{0};
    std::atomic<uint64_t> m_uAddCalls{0};
    HostContractLog m_log;
};

}  // namespace host
