// The spatial effect's parameter object. The effect has no parameters: the object holds nothing,
// accepts every bank block and every single parameter without reading them, and the design tool
// writes an empty block for it.
//
// Threads: there is no state, so any thread may call any slot.
#pragma once

#include <stdint.h>

#include "ZvHostEngine.h"

class ISACFXParams final : public ZV::IPluginParam {
public:
    ISACFXParams() = default;
    ~ISACFXParams() = default;
    ISACFXParams(const ISACFXParams&) = delete;
    ISACFXParams& operator=(const ISACFXParams&) = delete;

    ZvResult SetParameter(uint16_t in_uParamId, const void* in_pValue,
                          uint32_t in_uParamSize) override;
    ZV::IPluginParam* CloneParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult InitParameters(ZV::IPluginMemAlloc* in_pAllocator, const void* in_pParamsBlock,
                            uint32_t in_ulBlockSize) override;
    ZvResult TermParameters(ZV::IPluginMemAlloc* in_pAllocator) override;
    ZvResult SetParameterBlock(const void* in_pParamsBlock, uint32_t in_ulBlockSize) override;
};

// The parameter factory of the effect's registration: a new ISACFXParams in host memory, or null
// (a null allocator is reported).
ZV::IPluginParam* CreateISACFXParams(ZV::IPluginMemAlloc* in_pAllocator);
