// The four parameter objects (sink, effect, mixer, mixer attachment) on arbitrary bank blocks and
// single parameters: a sequence of InitParameters, SetParameterBlock, SetParameter,
// CloneParameters and ClearChangeFlags calls, each block handed over in a heap buffer of exactly
// its size (so that a read past its end is caught). After every call the object is held against a
// model of what it must hold; at the end every host block must be back.
//
// A value handed to SetParameter always has the width of the parameter's type, as the host's
// contract says; its size argument is arbitrary (the sink refuses a size below its fields' 4
// bytes, the others do not use it).

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

#include "AssertHook.h"
#include "FuzzCheck.h"
#include "HostAllocator.h"
#include "ISACFXParams.h"
#include "SinkPluginParams.h"
#include "SpatialMixerFXAttachmentParams.h"
#include "SpatialMixerFXParams.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {

constexpr int kMaxCalls = 48;

// A bank block as the host hands it over: exactly its bytes, or no pointer at all.
struct Block {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t uSize = 0;
    const void* Data() const { return bytes.get(); }
};

Block TakeBlock(FuzzedDataProvider& io_input) {
    Block block;
    const bool bNull = io_input.ConsumeIntegralInRange<int>(0, 15) == 0;
    const std::vector<uint8_t> bytes =
        io_input.ConsumeBytes<uint8_t>(io_input.ConsumeIntegralInRange<size_t>(0, 12));
    block.uSize = static_cast<uint32_t>(bytes.size());
    if (bNull) {
        // A host that says there are bytes and gives none: a size, no pointer.
        block.uSize = io_input.ConsumeIntegral<uint32_t>();
        return block;
    }
    block.bytes.reset(new uint8_t[bytes.size() + 1]);  // a valid pointer even for 0 bytes
    if (!bytes.empty()) {
        memcpy(block.bytes.get(), bytes.data(), bytes.size());
    }
    return block;
}

// The 32-bit value of a SetParameter call, in a buffer of exactly 4 bytes; null sometimes.
struct Value {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t uBits = 0;
    const void* Data() const { return bytes.get(); }
};

Value TakeValue(FuzzedDataProvider& io_input) {
    Value value;
    if (io_input.ConsumeIntegralInRange<int>(0, 15) == 0) {
        return value;
    }
    value.uBits = io_input.ConsumeIntegral<uint32_t>();
    value.bytes.reset(new uint8_t[4]);
    memcpy(value.bytes.get(), &value.uBits, 4);
    return value;
}

uint16_t TakeId(FuzzedDataProvider& io_input) {
    // Mostly the ids around the real ones, sometimes any.
    return io_input.ConsumeBool() ? io_input.ConsumeIntegralInRange<uint16_t>(0, 9)
                                  : io_input.ConsumeIntegral<uint16_t>();
}

float FloatOf(uint32_t in_uBits) {
    float fValue;
    memcpy(&fValue, &in_uBits, 4);
    return fValue;
}

uint32_t BitsOf(float in_fValue) {
    uint32_t uBits;
    memcpy(&uBits, &in_fValue, 4);
    return uBits;
}

bool FloatFlag(uint32_t in_uBits) {
    const float fValue = FloatOf(in_uBits);
    return fValue < 0.0f || fValue > 0.0f;
}

uint32_t LittleEndian32(const uint8_t* in_pBytes) {
    return uint32_t{in_pBytes[0]} | uint32_t{in_pBytes[1]} << 8 | uint32_t{in_pBytes[2]} << 16 |
           uint32_t{in_pBytes[3]} << 24;
}

// InitParameters (in_bInit) or SetParameterBlock with a block taken from the input; the model
// reads the same block (no bytes given to InitParameters mean the defaults).
template <typename TModel>
void ApplyBlock(bool in_bInit, FuzzedDataProvider& io_input, ZV::IPluginParam& io_params,
                host::HostAllocator& io_allocator, TModel& io_model) {
    const Block block = TakeBlock(io_input);
    if (in_bInit) {
        FUZZ_CHECK(io_params.InitParameters(&io_allocator, block.Data(), block.uSize) ==
                   ZV_Success);
        if (block.uSize == 0) {
            io_model.Defaults();
            return;
        }
    } else {
        FUZZ_CHECK(io_params.SetParameterBlock(block.Data(), block.uSize) == ZV_Success);
    }
    io_model.ReadBlock(block);
}

// ---- The sink: DirectGain (a gain that is not finite is stored as 0) and ChannelConfig ----

struct SinkModel {
    uint32_t uGainBits = BitsOf(1.0f);
    uint32_t uConfig = 0;

    void Defaults() { *this = SinkModel(); }
    void StoreGain(uint32_t in_uBits) {
        const float fGain = FloatOf(in_uBits);
        uGainBits = fGain - fGain == 0.0f ? in_uBits : BitsOf(0.0f);
    }
    void ReadBlock(const Block& in_block) {
        if (in_block.Data() == nullptr) {
            return;
        }
        const uint8_t* pBytes = static_cast<const uint8_t*>(in_block.Data());
        if (in_block.uSize >= 4) {
            StoreGain(LittleEndian32(pBytes));
        }
        if (in_block.uSize >= 8) {
            uConfig = LittleEndian32(pBytes + 4);
        }
    }
    void Check(const SinkPluginParams& in_params) const {
        FUZZ_CHECK(BitsOf(in_params.GetDirectGain()) == uGainBits);
        FUZZ_CHECK(in_params.GetChannelConfig() == uConfig);
    }
};

void FuzzSink(FuzzedDataProvider& io_input, host::HostAllocator& io_allocator) {
    auto* pParams = static_cast<SinkPluginParams*>(CreateSinkPluginParams(&io_allocator));
    FUZZ_CHECK(pParams != nullptr);
    SinkModel model;
    for (int iCall = 0; iCall < kMaxCalls && io_input.remaining_bytes() > 0; ++iCall) {
        const int iKind = io_input.ConsumeIntegralInRange<int>(0, 4);
        switch (iKind) {
            case 0:
            case 1:
                ApplyBlock(iKind == 0, io_input, *pParams, io_allocator, model);
                break;
            case 2: {
                const uint16_t uId = TakeId(io_input);
                const Value value = TakeValue(io_input);
                const uint32_t uSize = io_input.ConsumeIntegral<uint32_t>();
                const ZvResult eResult = pParams->SetParameter(uId, value.Data(), uSize);
                if (value.Data() == nullptr || uId > SinkParamId_ChannelConfig || uSize < 4) {
                    FUZZ_CHECK(eResult == ZV_BadParameter);
                } else {
                    FUZZ_CHECK(eResult == ZV_Success);
                    if (uId == SinkParamId_DirectGain) {
                        model.StoreGain(value.uBits);
                    } else {
                        model.uConfig = value.uBits;
                    }
                }
                break;
            }
            case 3: {
                auto* pClone =
                    static_cast<SinkPluginParams*>(pParams->CloneParameters(&io_allocator));
                FUZZ_CHECK(pClone != nullptr);
                model.Check(*pClone);
                FUZZ_CHECK(pClone->TermParameters(&io_allocator) == ZV_Success);
                break;
            }
            default:
                FUZZ_CHECK(pParams->CloneParameters(nullptr) == nullptr);
                break;
        }
        model.Check(*pParams);
    }
    FUZZ_CHECK(pParams->TermParameters(&io_allocator) == ZV_Success);
}

// ---- The effect: takes everything, holds nothing ----

void FuzzEffect(FuzzedDataProvider& io_input, host::HostAllocator& io_allocator) {
    ZV::IPluginParam* pParams = CreateISACFXParams(&io_allocator);
    FUZZ_CHECK(pParams != nullptr);
    for (int iCall = 0; iCall < kMaxCalls && io_input.remaining_bytes() > 0; ++iCall) {
        switch (io_input.ConsumeIntegralInRange<int>(0, 3)) {
            case 0: {
                const Block block = TakeBlock(io_input);
                FUZZ_CHECK(pParams->InitParameters(&io_allocator, block.Data(), block.uSize) ==
                           ZV_Success);
                break;
            }
            case 1: {
                const Block block = TakeBlock(io_input);
                FUZZ_CHECK(pParams->SetParameterBlock(block.Data(), block.uSize) == ZV_Success);
                break;
            }
            case 2: {
                const uint16_t uId = TakeId(io_input);
                const Value value = TakeValue(io_input);
                FUZZ_CHECK(pParams->SetParameter(uId, value.Data(),
                                                 io_input.ConsumeIntegral<uint32_t>()) ==
                           ZV_Success);
                break;
            }
            default: {
                ZV::IPluginParam* pClone = pParams->CloneParameters(&io_allocator);
                FUZZ_CHECK(pClone != nullptr);
                FUZZ_CHECK(pClone->TermParameters(&io_allocator) == ZV_Success);
                break;
            }
        }
    }
    FUZZ_CHECK(pParams->TermParameters(&io_allocator) == ZV_Success);
}

// ---- The mixer and its attachment: values and change flags ----

struct MixerModel {
    static constexpr uint32_t kMaxId = 7;
    bool bBypass = false;
    int32_t iMaxObjects = SpatialMixerFXParams::kDefaultMaxObjects;
    uint32_t uFlags = 0;

    void Defaults() {
        bBypass = false;
        iMaxObjects = SpatialMixerFXParams::kDefaultMaxObjects;
    }
    void ReadBlock(const Block& in_block) {
        const uint8_t* pBytes = static_cast<const uint8_t*>(in_block.Data());
        const uint32_t uSize = pBytes != nullptr ? in_block.uSize : 0;
        if (uSize >= 1) {
            bBypass = pBytes[0] != 0;
        }
        if (uSize >= 5) {
            iMaxObjects = static_cast<int32_t>(LittleEndian32(pBytes + 1));
        }
        uFlags = (1u << (kMaxId + 1)) - 1;
    }
    // The result SetParameter must give.
    ZvResult Set(uint16_t in_uId, const Value& in_value) {
        if (in_value.Data() == nullptr) {
            return ZV_BadParameter;
        }
        ZvResult eResult = ZV_Success;
        if (in_uId == SpatialMixerFXParams::kBypassId) {
            bBypass = FloatFlag(in_value.uBits);
        } else if (in_uId == SpatialMixerFXParams::kMaxObjectsId) {
            iMaxObjects = static_cast<int32_t>(in_value.uBits);
        } else {
            eResult = ZV_BadParameter;
        }
        if (in_uId <= kMaxId) {
            uFlags |= 1u << in_uId;
        }
        return eResult;
    }
    void Check(const SpatialMixerFXParams& in_params, uint32_t in_uFlags) const {
        const SpatialMixerFXParams::Values values = in_params.GetValues();
        FUZZ_CHECK(values.bBypass == bBypass);
        FUZZ_CHECK(values.iMaxObjects == iMaxObjects);
        for (uint16_t uId = 0; uId <= kMaxId + 2; ++uId) {
            FUZZ_CHECK(in_params.HasChanged(uId) == ((in_uFlags >> uId & 1u) != 0));
        }
        FUZZ_CHECK(in_params.HasAnyChanged() == (in_uFlags != 0));
    }
};

struct AttachmentModel {
    static constexpr uint32_t kMaxId = 3;
    bool bBypassLocal = true;
    uint32_t uFlags = 0;

    void Defaults() { bBypassLocal = true; }
    void ReadBlock(const Block& in_block) {
        const uint8_t* pBytes = static_cast<const uint8_t*>(in_block.Data());
        if (pBytes != nullptr && in_block.uSize >= 1) {
            bBypassLocal = pBytes[0] != 0;
        }
        uFlags = (1u << (kMaxId + 1)) - 1;
    }
    ZvResult Set(uint16_t in_uId, const Value& in_value) {
        if (in_value.Data() == nullptr) {
            return ZV_BadParameter;
        }
        ZvResult eResult = ZV_Success;
        if (in_uId == SpatialMixerFXAttachmentParams::kBypassLocalId) {
            bBypassLocal = FloatFlag(in_value.uBits);
        } else {
            eResult = ZV_BadParameter;
        }
        if (in_uId <= kMaxId) {
            uFlags |= 1u << in_uId;
        }
        return eResult;
    }
    void Check(const SpatialMixerFXAttachmentParams& in_params, uint32_t in_uFlags) const {
        FUZZ_CHECK(in_params.GetBypassLocal() == bBypassLocal);
        for (uint16_t uId = 0; uId <= kMaxId + 2; ++uId) {
            FUZZ_CHECK(in_params.HasChanged(uId) == ((in_uFlags >> uId & 1u) != 0));
        }
        FUZZ_CHECK(in_params.HasAnyChanged() == (in_uFlags != 0));
    }
};

template <typename TParams, typename TModel>
void FuzzMixerKind(FuzzedDataProvider& io_input, host::HostAllocator& io_allocator,
                   ZV::IPluginParam* (*in_pfnCreate)(ZV::IPluginMemAlloc*)) {
    auto* pParams = static_cast<TParams*>(in_pfnCreate(&io_allocator));
    FUZZ_CHECK(pParams != nullptr);
    TModel model;
    for (int iCall = 0; iCall < kMaxCalls && io_input.remaining_bytes() > 0; ++iCall) {
        const int iKind = io_input.ConsumeIntegralInRange<int>(0, 5);
        switch (iKind) {
            case 0:
            case 1:
                ApplyBlock(iKind == 0, io_input, *pParams, io_allocator, model);
                break;
            case 2: {
                const uint16_t uId = TakeId(io_input);
                const Value value = TakeValue(io_input);
                const ZvResult eResult =
                    pParams->SetParameter(uId, value.Data(), io_input.ConsumeIntegral<uint32_t>());
                FUZZ_CHECK(eResult == model.Set(uId, value));
                break;
            }
            case 3: {
                auto* pClone = static_cast<TParams*>(pParams->CloneParameters(&io_allocator));
                FUZZ_CHECK(pClone != nullptr);
                // A copy has the same values and every flag set.
                model.Check(*pClone, (1u << (TModel::kMaxId + 1)) - 1);
                FUZZ_CHECK(pClone->TermParameters(&io_allocator) == ZV_Success);
                break;
            }
            case 4:
                pParams->ClearChangeFlags();
                model.uFlags = 0;
                break;
            default:
                FUZZ_CHECK(pParams->CloneParameters(nullptr) == nullptr);
                break;
        }
        model.Check(*pParams, model.uFlags);
    }
    FUZZ_CHECK(pParams->TermParameters(&io_allocator) == ZV_Success);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in_pData, size_t in_uSize) {
    FuzzedDataProvider input(in_pData, in_uSize);
    host::HostAllocator allocator;
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            FuzzSink(input, allocator);
            break;
        case 1:
            FuzzEffect(input, allocator);
            break;
        case 2:
            FuzzMixerKind<SpatialMixerFXParams, MixerModel>(input, allocator,
                                                            &CreateSpatialMixerFXParams);
            break;
        default:
            FuzzMixerKind<SpatialMixerFXAttachmentParams, AttachmentModel>(
                input, allocator, &CreateSpatialMixerFXAttachmentParams);
            break;
    }
    FUZZ_CHECK(allocator.OutstandingBlocks() == 0);
    FUZZ_CHECK(allocator.Errors().empty());
    return 0;
}
