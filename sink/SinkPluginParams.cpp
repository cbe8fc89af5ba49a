#include "SinkPluginParams.h"

#include <string.h>

#include <cmath>

#include "AssertHook.h"
#include "HostMemory.h"

namespace {
constexpr const char* kSource = "SinkPluginParams";
}  // namespace

SinkPluginParams::SinkPluginParams() : DirectGain(1.0f), ChannelConfig(0) {}

SinkPluginParams::SinkPluginParams(const SinkPluginParams& in_other)
    : ZV::IPluginParam(),
      DirectGain(in_other.GetDirectGain()),
      ChannelConfig(in_other.ChannelConfig) {}

void SinkPluginParams::StoreDirectGain(float in_fDirectGain) {
    ZV_CHECK(kSource, std::isfinite(in_fDirectGain));
    DirectGain.store(std::isfinite(in_fDirectGain) ? in_fDirectGain : 0.0f,
                     std::memory_order_relaxed);
}

ZvResult SinkPluginParams::SetParameter(uint16_t in_uParamId, const void* in_pValue,
                                        uint32_t in_uParamSize) {
    ZV_CHECK(kSource, in_pValue != NULL);
    if (in_pValue == nullptr) {
        return ZV_BadParameter;
    }
    // Both fields are 4 bytes wide; a shorter value is not read at all (a longer one is read as
    // far as the field goes).
    if (in_uParamId <= SinkParamId_ChannelConfig) {
        ZV_CHECK(kSource, in_uParamSize >= 4);
        if (in_uParamSize < 4) {
            return ZV_BadParameter;
        }
    }
    switch (in_uParamId) {
        case SinkParamId_DirectGain: {
            float fDirectGain;
            memcpy(&fDirectGain, in_pValue, sizeof(fDirectGain));
            StoreDirectGain(fDirectGain);
            return ZV_Success;
        }
        case SinkParamId_ChannelConfig:
            memcpy(&ChannelConfig, in_pValue, sizeof(ChannelConfig));
            return ZV_Success;
        default:
            ZV_CHECK(kSource, !"Invalid parameter.");
            return ZV_BadParameter;
    }
}

ZV::IPluginParam* SinkPluginParams::CloneParameters(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<SinkPluginParams>(in_pAllocator, *this);
}

ZvResult SinkPluginParams::InitParameters(ZV::IPluginMemAlloc* /*in_pAllocator*/,
                                          const void* in_pParamsBlock, uint32_t in_ulBlockSize) {
    if (in_ulBlockSize == 0) {
        DirectGain.store(1.0f, std::memory_order_relaxed);
        ChannelConfig = 0;
        return ZV_Success;
    }
    return SetParameterBlock(in_pParamsBlock, in_ulBlockSize);
}

ZvResult SinkPluginParams::TermParameters(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    if (in_pAllocator != nullptr) {
        HostDelete(in_pAllocator, this);
    }
    return ZV_Success;
}

ZvResult SinkPluginParams::SetParameterBlock(const void* in_pParamsBlock, uint32_t in_ulBlockSize) {
    // Reading a field of the block cannot fail; the result is named for the size check below.
    const ZvResult eResult = ZV_Success;
    const uint8_t* pBlock = static_cast<const uint8_t*>(in_pParamsBlock);
    // Only the fields that the block covers whole are read; nothing past its end.
    const uint32_t uReadable = pBlock != nullptr ? in_ulBlockSize : 0;
    if (uReadable >= 4) {
        float fDirectGain;
        memcpy(&fDirectGain, pBlock, sizeof(fDirectGain));
        StoreDirectGain(fDirectGain);
    }
    if (uReadable >= 8) {
        memcpy(&ChannelConfig, pBlock + 4, sizeof(ChannelConfig));
    }
    // Count the block down by its two fields: what is left is 0 only for a block of exactly 8
    // bytes (a shorter one wraps around to a large count, a longer one keeps its excess).
    in_ulBlockSize = uReadable - kSinkParamBlockSize;
    ZV_CHECK(kSource, in_ulBlockSize == 0 || eResult != ZV_Success);
    return eResult;
}

ZV::IPluginParam* CreateSinkPluginParams(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK("ZvSinkISAC", in_pAllocator != NULL);
    return HostNew<SinkPluginParams>(in_pAllocator);
}
