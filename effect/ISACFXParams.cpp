#include "ISACFXParams.h"

#include "AssertHook.h"
#include "HostMemory.h"

namespace {
constexpr const char* kSource = "ISACFX";
}  // namespace

ZvResult ISACFXParams::SetParameter(uint16_t /*in_uParamId*/, const void* /*in_pValue*/,
                                    uint32_t /*in_uParamSize*/) {
    return ZV_Success;
}

ZV::IPluginParam* ISACFXParams::CloneParameters(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<ISACFXParams>(in_pAllocator);
}

ZvResult ISACFXParams::InitParameters(ZV::IPluginMemAlloc* /*in_pAllocator*/,
                                      const void* in_pParamsBlock, uint32_t in_ulBlockSize) {
    if (in_ulBlockSize == 0) {
        return ZV_Success;
    }
    return SetParameterBlock(in_pParamsBlock, in_ulBlockSize);
}

ZvResult ISACFXParams::TermParameters(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    if (in_pAllocator != nullptr) {
        HostDelete(in_pAllocator, this);
    }
    return ZV_Success;
}

ZvResult ISACFXParams::SetParameterBlock(const void* /*in_pParamsBlock*/,
                                         uint32_t /*in_ulBlockSize*/) {
    return ZV_Success;
}

ZV::IPluginParam* CreateISACFXParams(ZV::IPluginMemAlloc* in_pAllocator) {
    ZV_CHECK(kSource, in_pAllocator != NULL);
    return HostNew<ISACFXParams>(in_pAllocator);
}
