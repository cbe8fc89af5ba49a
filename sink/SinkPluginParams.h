// The sink's parameter object: a linear gain on everything the sink plays and the choice of its
// output channel layout. The host creates it from the sink's registration, fills it from the
// sink's 8-byte bank block, may change single parameters at run time and copies it.
//
// Threads: the host's audio thread reads DirectGain once per buffer while SetParameter (on
// whichever thread the host changes parameters) may write it; DirectGain is one atomic 32-bit
// value, stored and loaded with relaxed ordering (no other data is published with it), so a reader
// sees either the old or the new gain. ChannelConfig is read only when the sink is initialised and
// is plain.
#pragma once

#include <stdint.h>

#include <atomic>

#include "ZvHostEngine.h"

enum SinkParamId : uint16_t {
    SinkParamId_DirectGain = 0,
    SinkParamId_ChannelConfig = 1,
};

// Bank block: DirectGain (IEEE-754 single) then ChannelConfig (32-bit integer), little-endian.
constexpr uint32_t kSinkParamBlockSize = 8;

class SinkPluginParams final : public ZV::IPluginParam {
public:
    // DirectGain 1.0 and ChannelConfig 0 (stereo) until a block or a change says otherwise.
    SinkPluginParams();
    SinkPluginParams(const SinkPluginParams& in_other);
    SinkPluginParams& operator=(const SinkPluginParams&) = delete;
    ~SinkPluginParams() = default;

    ZvResult SetParameter(uint16_t in_uParamId, const void* in_pValue,
                          uint32_t in_uParamSize) override;
    ZV::IPluginParam* CloneParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult InitParameters(ZV::IPluginMemAlloc* in_pAllocator, const void* in_pParamsBlock,
                            uint32_t in_ulBlockSize) override;
    ZvResult TermParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult SetParameterBlock(const void* in_pParamsBlock, uint32_t in_ulBlockSize) override;

    float GetDirectGain() const { return DirectGain.load(std::memory_order_relaxed); }
    uint32_t GetChannelConfig() const { return ChannelConfig; }

private:
    // A gain that is not finite (NaN, infinity) is reported and stored as 0, so that it never
    // reaches the renderer.
    void StoreDirectGain(float in_fDirectGain);

    std::atomic<float> DirectGain;  // parameter 0: linear factor on every volume ramp
    uint32_t ChannelConfig;         // parameter 1: 0 stereo, 1 six, 2 eight, 3 twelve channels
};
static_assert(std::atomic<float>::is_always_lock_free, "DirectGain is one atomic 32-bit word");

// The parameter factory of the sink's registration: a new SinkPluginParams in host memory, or null
// (a null allocator is reported).
ZV::IPluginParam* CreateSinkPluginParams(ZV::IPluginMemAlloc* in_pAllocator);
