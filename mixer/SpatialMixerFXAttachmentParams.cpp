#include "SpatialMixerFXAttachmentParams.h"

#include "AssertHook.h"
#include "HostMemory.h"
#include "ParamValue.h"
#include "ZvParamBlockReader.h"

namespace {
constexpr const char* kSource = "SpatialMixerFXAttachmentParams";
}  // namespace

SpatialMixerFXAttachmentParams::SpatialMixerFXAttachmentParams() : m_bBypassLocal(true) {}

SpatialMixerFXAttachmentParams::SpatialMixerFXAttachmentParams(
    const SpatialMixerFXAttachmentParams& in_source)
    : ZV::IPluginParam(), m_bBypassLocal(in_source.GetBypassLocal()) {
    m_changeHandler.SetAllParamChanged();
}

ZvResult SpatialMixerFXAttachmentParams::SetParameter(uint16_t in_ID, const void* in_pValue,
                                                      uint32_t /*in_uParamSize*/) {
    ZV_CHECK(kSource, in_pValue != NULL);
    if (in_pValue == nullptr) {
        return ZV_BadParameter;
    }

    ZvResult eResult = ZV_Success;
    if (in_ID == kBypassLocalId) {
        m_bBypassLocal.store(ReadFloatFlag(in_pValue), std::memory_order_relaxed);
    } else {
        ZV_CHECK(kSource, !"Invalid parameter.");
        eResult = ZV_BadParameter;
    }
    m_changeHandler.SetParamChanged(in_ID);
    return eResult;
}

ZV::IPluginParam* SpatialMixerFXAttachmentParams::CloneParameters(
    ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<SpatialMixerFXAttachmentParams>(in_pAllocator, *this);
}

ZvResult SpatialMixerFXAttachmentParams::InitParameters(ZV::IPluginMemAlloc* in_pAllocator,
                                                        const void* in_pParamsBlock,
                                                        uint32_t in_ulBlockSize) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    if (in_ulBlockSize == 0) {
        m_bBypassLocal.store(true, std::memory_order_relaxed);
        return ZV_Success;
    }
    return SetParameterBlock(in_pParamsBlock, in_ulBlockSize);
}

ZvResult SpatialMixerFXAttachmentParams::TermParameters(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    // Without the allocator the object cannot be freed: it stays as it is (reported above).
    if (in_pAllocator != nullptr) {
        HostDelete(in_pAllocator, this);
    }
    return ZV_Success;
}

ZvResult SpatialMixerFXAttachmentParams::SetParameterBlock(const void* in_pParamsBlock,
                                                           uint32_t in_ulBlockSize) {
    ZvResult eResult = ZV_Success;
    ZvParamBlockReader reader(in_pParamsBlock, in_ulBlockSize);

    // An empty block holds no field: BypassLocal keeps its value.
    uint8_t uBypassLocal = 0;
    if (reader.Read(uBypassLocal)) {
        m_bBypassLocal.store(uBypassLocal != 0, std::memory_order_relaxed);
    }

    // From here on in_ulBlockSize counts the bytes that the field does not account for.
    in_ulBlockSize = reader.UnaccountedBytes();
    ZV_CHECK(kSource, in_ulBlockSize == 0 || eResult != ZV_Success);

    m_changeHandler.SetAllParamChanged();
    return ZV_Success;
}

ZV::IPluginParam* CreateSpatialMixerFXAttachmentParams(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<SpatialMixerFXAttachmentParams>(in_pAllocator);
}
