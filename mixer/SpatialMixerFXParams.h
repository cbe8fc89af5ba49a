// The mixer's parameter object: Bypass sends every input of the mixer to the bed, MaxObjects
// limits the number of dynamic objects the mixer uses.
//
// Parameter block (5 bytes, no padding): byte 0 Bypass (0 false, anything else true), bytes 1 to 4
// MaxObjects (signed 32-bit, little-endian, unaligned).
//
// Threads: the host writes through SetParameter, SetParameterBlock and InitParameters, from
// whichever thread sets values; the mixer reads Bypass and MaxObjects and clears the change flags
// on the audio thread. Bypass and MaxObjects are separate atomics, each written and read whole
// with relaxed ordering: the mixer takes them as a pair (GetValues) but nothing depends on seeing
// both from the same update. The change flags are atomic too (ZvFXParameterChangeHandler).
#pragma once

#include <stdint.h>

#include <atomic>

#include "ZvFXParameterChangeHandler.h"
#include "ZvHostEngine.h"

class SpatialMixerFXParams final : public ZV::IPluginParam {
public:
    static constexpr uint16_t kBypassId = 0;
    static constexpr uint16_t kMaxObjectsId = 6;
    static constexpr uint32_t kBlockSize = 5;
    static constexpr int32_t kDefaultMaxObjects = 32;

    // The two values as the mixer takes them.
    struct Values {
        bool bBypass;
        int32_t iMaxObjects;
    };

    SpatialMixerFXParams();
    // A copy with the same values and every change flag set.
    explicit SpatialMixerFXParams(const SpatialMixerFXParams& in_source);
    SpatialMixerFXParams& operator=(const SpatialMixerFXParams&) = delete;
    ~SpatialMixerFXParams() = default;

    ZvResult SetParameter(uint16_t in_ID, const void* in_pValue, uint32_t in_uParamSize) override;
    ZV::IPluginParam* CloneParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult InitParameters(ZV::IPluginMemAlloc* in_pAllocator, const void* in_pParamsBlock,
                            uint32_t in_ulBlockSize) override;
    ZvResult TermParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult SetParameterBlock(const void* in_pParamsBlock, uint32_t in_ulBlockSize) override;

    Values GetValues() const;
    bool HasChanged(uint16_t in_ID) const { return m_changeHandler.HasChanged(in_ID); }
    bool HasAnyChanged() const { return m_changeHandler.HasAnyChanged(); }
    void ClearChangeFlags() { m_changeHandler.ResetAllParamChanged(); }

private:
    ZvFXParameterChangeHandler<7> m_changeHandler;
    std::atomic<bool> m_bBypass;
    std::atomic<int32_t> m_iMaxObjects;
};

// The registered parameter factory: a new object from in_pAllocator with every change flag
// clear, or null (no allocator, or no memory).
ZV::IPluginParam* CreateSpatialMixerFXParams(ZV::IPluginMemAlloc* in_pAllocator);
