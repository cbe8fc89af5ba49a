// The per-input parameter object of the mixer: BypassLocal keeps the input it is attached to off
// the dynamic objects (the input is mixed into the bed). It is true until a block or SetParameter
// clears it.
//
// Parameter block (1 byte): BypassLocal, 0 false, anything else true.
//
// Threads: the host writes through SetParameter, SetParameterBlock and InitParameters, from
// whichever thread sets values; the mixer reads BypassLocal on the audio thread. BypassLocal is
// an atomic written and read whole with relaxed ordering; the change flags are atomic too
// (ZvFXParameterChangeHandler).
#pragma once

#include <stdint.h>

#include <atomic>

#include "ZvFXParameterChangeHandler.h"
#include "ZvHostEngine.h"

class SpatialMixerFXAttachmentParams final : public ZV::IPluginParam {
public:
    static constexpr uint16_t kBypassLocalId = 0;
    static constexpr uint32_t kBlockSize = 1;

    SpatialMixerFXAttachmentParams();
    // A copy with the same value and every change flag set.
    explicit SpatialMixerFXAttachmentParams(const SpatialMixerFXAttachmentParams& in_source);
    SpatialMixerFXAttachmentParams& operator=(const SpatialMixerFXAttachmentParams&) = delete;
    ~SpatialMixerFXAttachmentParams() = default;

    ZvResult SetParameter(uint16_t in_ID, const void* in_pValue, uint32_t in_uParamSize) override;
    ZV::IPluginParam* CloneParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult InitParameters(ZV::IPluginMemAlloc* in_pAllocator, const void* in_pParamsBlock,
                            uint32_t in_ulBlockSize) override;
    ZvResult TermParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult SetParameterBlock(const void* in_pParamsBlock, uint32_t in_ulBlockSize) override;

    bool GetBypassLocal() const { return m_bBypassLocal.load(std::memory_order_relaxed); }
    bool HasChanged(uint16_t in_ID) const { return m_changeHandler.HasChanged(in_ID); }
    bool HasAnyChanged() const { return m_changeHandler.HasAnyChanged(); }
    void ClearChangeFlags() { m_changeHandler.ResetAllParamChanged(); }

private:
    ZvFXParameterChangeHandler<3> m_changeHandler;
    std::atomic<bool> m_bBypassLocal;
};

// The registered parameter factory: a new object from in_pAllocator with every change flag
// clear, or null (no allocator, or no memory).
ZV::IPluginParam* CreateSpatialMixerFXAttachmentParams(ZV::IPluginMemAlloc* in_pAllocator);
