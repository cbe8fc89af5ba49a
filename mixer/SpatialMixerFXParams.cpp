#include "SpatialMixerFXParams.h"

#include "AssertHook.h"
#include "HostMemory.h"
#include "ParamValue.h"
#include "ZvParamBlockReader.h"

namespace {
constexpr const char* kSource = "SpatialMixerFXParams";
}  // namespace

SpatialMixerFXParams::SpatialMixerFXParams()
    : m_bBypass(false), m_iMaxObjects(kDefaultMaxObjects) {}

SpatialMixerFXParams::SpatialMixerFXParams(const SpatialMixerFXParams& in_source)
    : ZV::IPluginParam(),
      m_bBypass(in_source.m_bBypass.load(std::memory_order_relaxed)),
      m_iMaxObjects(in_source.m_iMaxObjects.load(std::memory_order_relaxed)) {
    m_changeHandler.SetAllParamChanged();
}

ZvResult SpatialMixerFXParams::SetParameter(uint16_t in_ID, const void* in_pValue,
                                            uint32_t /*in_uParamSize*/) {
    ZV_CHECK(kSource, in_pValue != NULL);
    if (in_pValue == nullptr) {
        return ZV_BadParameter;
    }

    ZvResult eResult = ZV_Success;
    switch (in_ID) {
        case kBypassId:
            m_bBypass.store(ReadFloatFlag(in_pValue), std::memory_order_relaxed);
            break;
        case kMaxObjectsId:
            m_iMaxObjects.store(ReadInt32(in_pValue), std::memory_order_relaxed);
            break;
        default:
            ZV_CHECK(kSource, !"Invalid parameter.");
            eResult = ZV_BadParameter;
            break;
    }
    m_changeHandler.SetParamChanged(in_ID);
    return eResult;
}

ZV::IPluginParam* SpatialMixerFXParams::CloneParameters(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<SpatialMixerFXParams>(in_pAllocator, *this);
}

ZvResult SpatialMixerFXParams::InitParameters(ZV::IPluginMemAlloc* in_pAllocator,
                                              const void* in_pParamsBlock,
                                              uint32_t in_ulBlockSize) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    if (in_ulBlockSize == 0) {
        m_bBypass.store(false, std::memory_order_relaxed);
        m_iMaxObjects.store(kDefaultMaxObjects, std::memory_order_relaxed);
        return ZV_Success;
    }
    return SetParameterBlock(in_pParamsBlock, in_ulBlockSize);
}

ZvResult SpatialMixerFXParams::TermParameters(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    // Without the allocator the object cannot be freed: it stays as it is (reported above).
    if (in_pAllocator != nullptr) {
        HostDelete(in_pAllocator, this);
    }
    return ZV_Success;
}

ZvResult SpatialMixerFXParams::SetParameterBlock(const void* in_pParamsBlock,
                                                 uint32_t in_ulBlockSize) {
    ZvResult eResult = ZV_Success;
    ZvParamBlockReader reader(in_pParamsBlock, in_ulBlockSize);

    // Fields that the block does not hold whole keep their values.
    uint8_t uBypass = 0;
    if (reader.Read(uBypass)) {
        m_bBypass.store(uBypass != 0, std::memory_order_relaxed);
    }
    int32_t iMaxObjects = 0;
    if (reader.Read(iMaxObjects)) {
        m_iMaxObjects.store(iMaxObjects, std::memory_order_relaxed);
    }

    // From here on in_ulBlockSize counts the bytes that the fields do not account for.
    in_ulBlockSize = reader.UnaccountedBytes();
    ZV_CHECK(kSource, in_ulBlockSize == 0 || eResult != ZV_Success);

    m_changeHandler.SetAllParamChanged();
    return ZV_Success;
}

SpatialMixerFXParams::Values SpatialMixerFXParams::GetValues() const {
    return Values{m_bBypass.load(std::memory_order_relaxed),
                  m_iMaxObjects.load(std::memory_order_relaxed)};
}

ZV::IPluginParam* CreateSpatialMixerFXParams(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<SpatialMixerFXParams>(in_pAllocator);
}
