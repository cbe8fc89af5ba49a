// The contract between the plug-ins and the host sound engine: the services the engine offers to a
// plug-in (allocator, contexts) and the interfaces a plug-in offers to the engine. The order of the
// virtual functions in each class is its slot order and must not change; slots that the plug-ins
// never call are kept (and named) for the host's own use.
//
// The engine calls the plug-ins, and the plug-ins call the engine, by vtable index, and the engine
// is built by the platform's own compiler. So every build keeps that compiler's numbering (the
// slot numbers in the comments are the real vtable indexes under g++, clang and MinGW-w64 as
// well; tests/abi checks them against the compilers' own layout dumps):
// - Slot 0 is no virtual destructor (two entries under the ABI g++, clang and MinGW-w64 follow,
//   one under the platform's): it is EngineInterface::DestructorSlot, one entry everywhere.
// - No slot returns a class or struct by value (the platform's compiler returns one through a
//   hidden pointer, even a small one), and no class has two virtual functions of one name (it
//   groups overloads together in the table).
// - Every virtual function is ZV_THISCALL: the platform's member-function convention on 32-bit
//   x86.
// - A record passed by value is small and trivially copyable, so that both ABIs pass it like an
//   integer of its size (ZvVolumeRamp, ZvChannelLayout: the reasons stand at their declarations).
//
// All of these are called on the host's audio thread unless a comment says otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "AssertHook.h"
#include "ZvCallingConvention.h"
#include "ZvPluginInfo.h"
#include "ZvResult.h"
#include "ZvSampleBuffer.h"

namespace ZV {

class IPluginParam;

// Slot 0 of every engine-side interface, and what it does.
//
// The platform's compiler gives a virtual destructor one slot: the deleting destructor, called
// with `this` and a 32-bit flags word (bit 0: free the memory as well) and returning `this`. So
// slot 0 here is an ordinary function of that shape; its one 32-bit argument keeps a 32-bit
// caller's stack balanced (the callee pops it under __thiscall).
//
// It destroys nothing: it reports the call through the assertion hook and returns `this`, and the
// object stays whole. Plug-in objects live in memory from the host allocator and end only through
// TermPlugin or TermParameters, which destroy them with that allocator; freeing them here, with
// the platform's heap, would corrupt the host's, and destroying them without freeing would leave
// the host a dead object. A host that calls slot 0 by mistake can still end the object properly.
// No class overrides it.
//
// The destructors of the interfaces are protected and not virtual: an object is destroyed as its
// own class (HostDelete in TermPlugin and TermParameters), never through an interface pointer.
class EngineInterface {
public:
    virtual void* ZV_THISCALL DestructorSlot(uint32_t in_uFlags) final {  // 0
        (void)in_uFlags;
        ZV_CHECK("ZvCommonDefs",
                 !"Slot 0 destroys nothing: end the object with TermPlugin or TermParameters");
        return this;
    }

protected:
    EngineInterface() = default;
    EngineInterface(const EngineInterface&) = default;
    EngineInterface& operator=(const EngineInterface&) = default;
    ~EngineInterface() = default;
};

// The host allocator. Every engine-side allocation of a plug-in comes from here.
class IPluginMemAlloc : public EngineInterface {
public:
    virtual void* ZV_THISCALL Malloc(size_t in_uSize) = 0;  // 1: memory, or null
    virtual void ZV_THISCALL Free(void* in_pMemory) = 0;    // 2

protected:
    ~IPluginMemAlloc() = default;
};

// Panning gains, one row of output channels per input channel; each row is padded up to a
// multiple of 4 floats. The plug-in provides the storage, the host fills it.
struct SpeakerVolumeMatrix {
    float* pVolumes;
    uint32_t uNumInputs;
    uint32_t uNumOutputs;  // before padding; the row stride is (uNumOutputs + 3) & ~3
};

constexpr uint32_t SpeakerVolumeRowStride(uint32_t in_uNumOutputs) {
    return (in_uNumOutputs + 3u) & ~3u;
}

class IGlobalPluginContext : public EngineInterface {
public:
    virtual bool ZV_THISCALL IsRenderingOffline() const = 0;      // 1
    virtual uint16_t ZV_THISCALL GetFramesPerBuffer() const = 0;  // 2
    virtual uint32_t ZV_THISCALL GetSampleRate() const = 0;       // 3
    virtual uint32_t ZV_THISCALL GetHostVersion() const = 0;      // 4
    virtual void ZV_THISCALL HostReserved5() = 0;                 // 5
    virtual void ZV_THISCALL HostReserved6() = 0;                 // 6
    virtual void ZV_THISCALL HostReserved7() = 0;                 // 7
    virtual void ZV_THISCALL HostReserved8() = 0;                 // 8
    virtual void ZV_THISCALL HostReserved9() = 0;                 // 9
    virtual void ZV_THISCALL HostReserved10() = 0;                // 10
    virtual void ZV_THISCALL HostReserved11() = 0;                // 11
    virtual void ZV_THISCALL HostReserved12() = 0;                // 12
    // Adds in_pInput into io_pOutput through the two matrices, interpolated across the buffer,
    // with a gain ramp from in_fPrevGain to in_fNextGain.
    virtual void ZV_THISCALL MixWithVolumes(const ZvSampleBuffer* in_pInput,
                                            ZvSampleBuffer* io_pOutput, float in_fPrevGain,
                                            float in_fNextGain,
                                            const SpeakerVolumeMatrix& in_prevVolumes,
                                            const SpeakerVolumeMatrix& in_nextVolumes) = 0;  // 13
    virtual void ZV_THISCALL HostReserved14() = 0;                                           // 14
    // Adds (never overwrites) in_uFrames samples of in_pSource into io_pDestination, with a gain
    // ramping linearly from in_fPrevGain to in_fNextGain.
    virtual void ZV_THISCALL AddChannelRamped(const float* in_pSource, float* io_pDestination,
                                              float in_fPrevGain, float in_fNextGain,
                                              uint32_t in_uFrames) = 0;  // 15

protected:
    ~IGlobalPluginContext() = default;
};

// What every plug-in context offers.
class IPluginContextBase : public EngineInterface {
public:
    virtual IGlobalPluginContext* ZV_THISCALL GlobalContext() const = 0;  // 1
    virtual uint32_t ZV_THISCALL GetNodeId() const = 0;                   // 2
    virtual bool ZV_THISCALL IsSendModeEffect() const = 0;                // 3
    virtual uint32_t ZV_THISCALL GetPluginInstanceId() const = 0;         // 4
    // Monitoring data for the design-tool object of the same plug-in (the mixer's counters).
    virtual ZvResult ZV_THISCALL PostMonitorData(const void* in_pData,
                                                 uint32_t in_uDataSize) = 0;  // 5
    virtual bool ZV_THISCALL CanPostMonitorData() = 0;                        // 6
    // A notice for the host's log; in_eLevel 1 is a message, 2 an error.
    virtual ZvResult ZV_THISCALL PostMonitorMessage(const char* in_pszMessage,
                                                    uint32_t in_eLevel) = 0;  // 7

protected:
    ~IPluginContextBase() = default;
};

class ISinkPluginContext : public IPluginContextBase {
public:
    virtual bool ZV_THISCALL IsPrimary() const = 0;           // 8
    virtual ZvResult ZV_THISCALL SignalAudioThread() = 0;     // 9
    virtual uint32_t ZV_THISCALL GetOutputId() const = 0;     // 10
    virtual uint32_t ZV_THISCALL GetSinkType() const = 0;     // 11
    virtual void ZV_THISCALL HostReserved12() = 0;            // 12
    virtual uint16_t ZV_THISCALL GetBufferCount() const = 0;  // 13: host buffers to queue

protected:
    ~ISinkPluginContext() = default;
};

class IEffectPluginContext : public IPluginContextBase {
protected:
    ~IEffectPluginContext() = default;
};

class IMixerPluginContext : public IPluginContextBase {
protected:
    ~IMixerPluginContext() = default;
};

// The host's record that Get3DPosition fills for one ray of an input. The mixer reads the first
// three floats as distance, azimuth and elevation (radians) and initialises the rest before each
// call.
struct ZvEmitterRay {
    float fDistance;
    float fAzimuth;
    float fElevation;
    uint8_t aHostPrivate[36];
    uint32_t uListenerId;
    float fSpread;
    float fFocus;
    float fOcclusion;
    uint32_t uEmitterChannelMask;
    uint8_t uPositionIndex;
};
static_assert(sizeof(ZvEmitterRay) == 72, "ZvEmitterRay layout");

// One input (voice) of a mixer bus.
class IMixerInputContext : public EngineInterface {
public:
    virtual IPluginParam* ZV_THISCALL GetAttachmentParameters() const = 0;  // 1
    virtual uint32_t ZV_THISCALL GetInputId() const = 0;                    // 2
    virtual bool ZV_THISCALL IsVirtual() const = 0;                         // 3
    virtual uint32_t ZV_THISCALL GetConnectionType() const = 0;             // 4
    virtual void* ZV_THISCALL GetInputData() const = 0;                     // 5
    virtual void ZV_THISCALL SetInputData(void* in_pUserData) = 0;          // 6
    virtual float ZV_THISCALL GetCenterPercentage() const = 0;              // 7
    virtual uint32_t ZV_THISCALL GetSpatializationMode() const = 0;         // 8
    virtual bool ZV_THISCALL HasListenerRelativeRouting() const = 0;        // 9
    virtual uint32_t ZV_THISCALL GetPanningType() const = 0;                // 10
    virtual void ZV_THISCALL HostReserved11() = 0;                          // 11
    virtual uint32_t ZV_THISCALL GetRayCount() const = 0;                   // 12
    virtual ZvResult ZV_THISCALL Get3DPosition(uint32_t in_uIndex,
                                               ZvEmitterRay& out_ray) const = 0;  // 13
    virtual void ZV_THISCALL HostReserved14() = 0;                                // 14
    virtual void ZV_THISCALL HostReserved15() = 0;                                // 15
    virtual void ZV_THISCALL HostReserved16() = 0;                                // 16
    // Fills the previous and next panning matrices of this input for the mix buffer's layout
    // (in_outputConfig), from the input buffer's layout (in_inputConfig). The layouts by value:
    // one 32-bit word each, passed alike by both ABIs (see ZvChannelLayout).
    virtual ZvResult ZV_THISCALL
    ComputeSpeakerVolumes(ZvChannelLayout in_inputConfig, ZvChannelLayout in_outputConfig,
                          SpeakerVolumeMatrix& out_prevVolumes,
                          SpeakerVolumeMatrix& out_nextVolumes) = 0;  // 17

protected:
    ~IMixerInputContext() = default;
};

// The single-parameter interface: destructor and SetParameter.
class IParamChange : public EngineInterface {
public:
    virtual ZvResult ZV_THISCALL SetParameter(uint16_t in_uParamId, const void* in_pValue,
                                              uint32_t in_uParamSize) = 0;  // 1

protected:
    ~IParamChange() = default;
};

// A plug-in's parameter object.
class IPluginParam : public IParamChange {
public:
    virtual IPluginParam* ZV_THISCALL CloneParameters(IPluginMemAlloc* in_pAllocator) = 0;  // 2
    virtual ZvResult ZV_THISCALL InitParameters(IPluginMemAlloc* in_pAllocator,
                                                const void* in_pParamsBlock,
                                                uint32_t in_ulBlockSize) = 0;         // 3
    virtual ZvResult ZV_THISCALL TermParameters(IPluginMemAlloc* in_pAllocator) = 0;  // 4
    virtual ZvResult ZV_THISCALL SetParameterBlock(const void* in_pParamsBlock,
                                                   uint32_t in_ulBlockSize) = 0;  // 5

protected:
    ~IPluginParam() = default;
};

// Slots 0 to 5 of every plug-in object.
class IPlugin : public EngineInterface {
public:
    virtual ZvResult ZV_THISCALL TermPlugin(IPluginMemAlloc* in_pAllocator) = 0;     // 1
    virtual ZvResult ZV_THISCALL ResetPlugin() = 0;                                  // 2
    virtual ZvResult ZV_THISCALL DescribePlugin(ZvPluginInfo& out_rPluginInfo) = 0;  // 3
    virtual bool ZV_THISCALL SupportsOfflineRendering() const { return false; }      // 4
    virtual ZvResult ZV_THISCALL RelocateMedia(const uint8_t* /*in_pNewMedia*/,
                                               const uint8_t* /*in_pOldMedia*/) {
        return static_cast<ZvResult>(0);
    }  // 5

protected:
    ~IPlugin() = default;
};

// The output device.
class ISinkPlugin : public IPlugin {
public:
    virtual ZvResult ZV_THISCALL InitPlugin(IPluginMemAlloc* in_pAllocator,
                                            ISinkPluginContext* in_pContext,
                                            IPluginParam* in_pParams,
                                            ZvAudioFormat& io_rFormat) = 0;       // 6
    virtual ZvResult ZV_THISCALL IsDataNeeded(uint32_t& out_uBuffersNeeded) = 0;  // 7
    // in_gain by value: 8 bytes, passed alike by both ABIs (see ZvVolumeRamp).
    virtual void ZV_THISCALL ConsumeFrame(ZvSampleBuffer* in_pBuffer,
                                          ZvVolumeRamp in_gain) = 0;  // 8
    virtual void ZV_THISCALL OnFrameEnd() = 0;                        // 9
    virtual bool ZV_THISCALL IsStarved() = 0;                         // 10
    virtual void ZV_THISCALL ResetStarved() = 0;                      // 11

protected:
    ~ISinkPlugin() = default;
};

class IEffectPlugin : public IPlugin {
public:
    virtual ZvResult ZV_THISCALL InitPlugin(IPluginMemAlloc* in_pAllocator,
                                            IEffectPluginContext* in_pContext,
                                            IPluginParam* in_pParams,
                                            ZvAudioFormat& io_rFormat) = 0;  // 6

protected:
    ~IEffectPlugin() = default;
};

class IInPlaceEffectPlugin : public IEffectPlugin {
public:
    virtual void ZV_THISCALL ProcessInPlace(ZvSampleBuffer* io_pBuffer) = 0;  // 7
    virtual ZvResult ZV_THISCALL TimeSkip(uint32_t in_uFrames) = 0;           // 8

protected:
    ~IInPlaceEffectPlugin() = default;
};

// The host object that a mixer's EndFrame receives as its second argument.
class IFrameEndHooks : public EngineInterface {
public:
    virtual void ZV_THISCALL OnFlushBegin() = 0;  // 1
    virtual void ZV_THISCALL OnFlush() = 0;       // 2
    virtual void ZV_THISCALL OnFlushEnd() = 0;    // 3
    virtual void ZV_THISCALL OnFrameDone() = 0;   // 4

protected:
    ~IFrameEndHooks() = default;
};

class IMixerPlugin : public IPlugin {
public:
    virtual ZvResult ZV_THISCALL InitPlugin(IPluginMemAlloc* in_pAllocator,
                                            IMixerPluginContext* in_pContext,
                                            IPluginParam* in_pParams,
                                            ZvAudioFormat& io_rFormat) = 0;       // 6
    virtual void ZV_THISCALL ConnectInput(IMixerInputContext* in_pInput) = 0;     // 7
    virtual void ZV_THISCALL DisconnectInput(IMixerInputContext* in_pInput) = 0;  // 8
    // The two ramps by value: 8 bytes each, passed alike by both ABIs (see ZvVolumeRamp).
    virtual void ZV_THISCALL MixInput(IMixerInputContext* in_pInputContext,
                                      ZvVolumeRamp in_baseVolume,
                                      ZvVolumeRamp in_emitterListenerVolume,
                                      ZvSampleBuffer* io_pInputBuffer,
                                      ZvSampleBuffer* io_pMixBuffer) = 0;     // 9
    virtual void ZV_THISCALL FinishMix(ZvSampleBuffer* io_pMixBuffer) = 0;    // 10
    virtual void ZV_THISCALL PostEffects(ZvSampleBuffer* io_pMixBuffer) = 0;  // 11
    virtual void ZV_THISCALL EndFrame(uint32_t in_uFrameIndex,
                                      IFrameEndHooks* in_pHooks) = 0;  // 12

protected:
    ~IMixerPlugin() = default;
};

}  // namespace ZV
