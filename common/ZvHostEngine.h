// The contract between the plug-ins and the host sound engine: the services the engine offers to a
// plug-in (allocator, contexts) and the interfaces a plug-in offers to the engine. The order of the
// virtual functions in each class is its slot order and must not change; slots that the plug-ins
// never call are kept (and named) for the host's own use.
//
// All of these are called on the host's audio thread unless a comment says otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "ZvPluginInfo.h"
#include "ZvResult.h"
#include "ZvSampleBuffer.h"

namespace ZV {

class IPluginParam;

// The host allocator. Every engine-side allocation of a plug-in comes from here.
class IPluginMemAlloc {
public:
    virtual ~IPluginMemAlloc() = default;       // 0
    virtual void* Malloc(size_t in_uSize) = 0;  // 1: memory, or null
    virtual void Free(void* in_pMemory) = 0;    // 2
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

class IGlobalPluginContext {
public:
    virtual ~IGlobalPluginContext() = default;        // 0
    virtual bool IsRenderingOffline() const = 0;      // 1
    virtual uint16_t GetFramesPerBuffer() const = 0;  // 2
    virtual uint32_t GetSampleRate() const = 0;       // 3
    virtual uint32_t GetHostVersion() const = 0;      // 4
    virtual void HostReserved5() = 0;                 // 5
    virtual void HostReserved6() = 0;                 // 6
    virtual void HostReserved7() = 0;                 // 7
    virtual void HostReserved8() = 0;                 // 8
    virtual void HostReserved9() = 0;                 // 9
    virtual void HostReserved10() = 0;                // 10
    virtual void HostReserved11() = 0;                // 11
    virtual void HostReserved12() = 0;                // 12
    // Adds in_pInput into io_pOutput through the two matrices, interpolated across the buffer,
    // with a gain ramp from in_fPrevGain to in_fNextGain.
    virtual void MixWithVolumes(const ZvSampleBuffer* in_pInput, ZvSampleBuffer* io_pOutput,
                                float in_fPrevGain, float in_fNextGain,
                                const SpeakerVolumeMatrix& in_prevVolumes,
                                const SpeakerVolumeMatrix& in_nextVolumes) = 0;  // 13
    virtual void HostReserved14() = 0;                                           // 14
    // Adds (never overwrites) in_uFrames samples of in_pSource into io_pDestination, with a gain
    // ramping linearly from in_fPrevGain to in_fNextGain.
    virtual void AddChannelRamped(const float* in_pSource, float* io_pDestination,
                                  float in_fPrevGain, float in_fNextGain,
                                  uint32_t in_uFrames) = 0;  // 15
};

// What every plug-in context offers.
class IPluginContextBase {
public:
    virtual ~IPluginContextBase() = default;                  // 0
    virtual IGlobalPluginContext* GlobalContext() const = 0;  // 1
    virtual uint32_t GetNodeId() const = 0;                   // 2
    virtual bool IsSendModeEffect() const = 0;                // 3
    virtual uint32_t GetPluginInstanceId() const = 0;         // 4
    // Monitoring data for the design-tool object of the same plug-in (the mixer's counters).
    virtual ZvResult PostMonitorData(const void* in_pData, uint32_t in_uDataSize) = 0;  // 5
    virtual bool CanPostMonitorData() = 0;                                              // 6
    // A notice for the host's log; in_eLevel 1 is a message, 2 an error.
    virtual ZvResult PostMonitorMessage(const char* in_pszMessage, uint32_t in_eLevel) = 0;  // 7
};

class ISinkPluginContext : public IPluginContextBase {
public:
    virtual bool IsPrimary() const = 0;           // 8
    virtual ZvResult SignalAudioThread() = 0;     // 9
    virtual uint32_t GetOutputId() const = 0;     // 10
    virtual uint32_t GetSinkType() const = 0;     // 11
    virtual void HostReserved12() = 0;            // 12
    virtual uint16_t GetBufferCount() const = 0;  // 13: host buffers to queue
};

class IEffectPluginContext : public IPluginContextBase {};

class IMixerPluginContext : public IPluginContextBase {};

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
class IMixerInputContext {
public:
    virtual ~IMixerInputContext() = default;                                              // 0
    virtual IPluginParam* GetAttachmentParameters() const = 0;                            // 1
    virtual uint32_t GetInputId() const = 0;                                              // 2
    virtual bool IsVirtual() const = 0;                                                   // 3
    virtual uint32_t GetConnectionType() const = 0;                                       // 4
    virtual void* GetInputData() const = 0;                                               // 5
    virtual void SetInputData(void* in_pUserData) = 0;                                    // 6
    virtual float GetCenterPercentage() const = 0;                                        // 7
    virtual uint32_t GetSpatializationMode() const = 0;                                   // 8
    virtual bool HasListenerRelativeRouting() const = 0;                                  // 9
    virtual uint32_t GetPanningType() const = 0;                                          // 10
    virtual void HostReserved11() = 0;                                                    // 11
    virtual uint32_t GetRayCount() const = 0;                                             // 12
    virtual ZvResult Get3DPosition(uint32_t in_uIndex, ZvEmitterRay& out_ray) const = 0;  // 13
    virtual void HostReserved14() = 0;                                                    // 14
    virtual void HostReserved15() = 0;                                                    // 15
    virtual void HostReserved16() = 0;                                                    // 16
    // Fills the previous and next panning matrices of this input for the mix buffer's layout
    // (in_outputConfig), from the input buffer's layout (in_inputConfig).
    virtual ZvResult ComputeSpeakerVolumes(ZvChannelLayout in_inputConfig,
                                           ZvChannelLayout in_outputConfig,
                                           SpeakerVolumeMatrix& out_prevVolumes,
                                           SpeakerVolumeMatrix& out_nextVolumes) = 0;  // 17
};

// The single-parameter interface: destructor and SetParameter.
class IParamChange {
public:
    virtual ~IParamChange() = default;  // 0
    virtual ZvResult SetParameter(uint16_t in_uParamId, const void* in_pValue,
                                  uint32_t in_uParamSize) = 0;  // 1
};

// A plug-in's parameter object.
class IPluginParam : public IParamChange {
public:
    virtual IPluginParam* CloneParameters(IPluginMemAlloc* in_pAllocator) = 0;  // 2
    virtual ZvResult InitParameters(IPluginMemAlloc* in_pAllocator, const void* in_pParamsBlock,
                                    uint32_t in_ulBlockSize) = 0;         // 3
    virtual ZvResult TermParameters(IPluginMemAlloc* in_pAllocator) = 0;  // 4
    virtual ZvResult SetParameterBlock(const void* in_pParamsBlock,
                                       uint32_t in_ulBlockSize) = 0;  // 5
};

// Slots 0 to 5 of every plug-in object.
class IPlugin {
public:
    virtual ~IPlugin() = default;                                        // 0
    virtual ZvResult TermPlugin(IPluginMemAlloc* in_pAllocator) = 0;     // 1
    virtual ZvResult ResetPlugin() = 0;                                  // 2
    virtual ZvResult DescribePlugin(ZvPluginInfo& out_rPluginInfo) = 0;  // 3
    virtual bool SupportsOfflineRendering() const { return false; }      // 4
    virtual ZvResult RelocateMedia(const uint8_t* /*in_pNewMedia*/,
                                   const uint8_t* /*in_pOldMedia*/) {
        return static_cast<ZvResult>(0);
    }  // 5
};

// The output device.
class ISinkPlugin : public IPlugin {
public:
    virtual ZvResult InitPlugin(IPluginMemAlloc* in_pAllocator, ISinkPluginContext* in_pContext,
                                IPluginParam* in_pParams, ZvAudioFormat& io_rFormat) = 0;  // 6
    virtual ZvResult IsDataNeeded(uint32_t& out_uBuffersNeeded) = 0;                       // 7
    virtual void ConsumeFrame(ZvSampleBuffer* in_pBuffer, ZvVolumeRamp in_gain) = 0;       // 8
    virtual void OnFrameEnd() = 0;                                                         // 9
    virtual bool IsStarved() = 0;                                                          // 10
    virtual void ResetStarved() = 0;                                                       // 11
};

class IEffectPlugin : public IPlugin {
public:
    virtual ZvResult InitPlugin(IPluginMemAlloc* in_pAllocator, IEffectPluginContext* in_pContext,
                                IPluginParam* in_pParams, ZvAudioFormat& io_rFormat) = 0;  // 6
};

class IInPlaceEffectPlugin : public IEffectPlugin {
public:
    virtual void ProcessInPlace(ZvSampleBuffer* io_pBuffer) = 0;  // 7
    virtual ZvResult TimeSkip(uint32_t in_uFrames) = 0;           // 8
};

// The host object that a mixer's EndFrame receives as its second argument.
class IFrameEndHooks {
public:
    virtual ~IFrameEndHooks() = default;  // 0
    virtual void OnFlushBegin() = 0;      // 1
    virtual void OnFlush() = 0;           // 2
    virtual void OnFlushEnd() = 0;        // 3
    virtual void OnFrameDone() = 0;       // 4
};

class IMixerPlugin : public IPlugin {
public:
    virtual ZvResult InitPlugin(IPluginMemAlloc* in_pAllocator, IMixerPluginContext* in_pContext,
                                IPluginParam* in_pParams, ZvAudioFormat& io_rFormat) = 0;  // 6
    virtual void ConnectInput(IMixerInputContext* in_pInput) = 0;                          // 7
    virtual void DisconnectInput(IMixerInputContext* in_pInput) = 0;                       // 8
    virtual void MixInput(IMixerInputContext* in_pInputContext, ZvVolumeRamp in_baseVolume,
                          ZvVolumeRamp in_emitterListenerVolume, ZvSampleBuffer* io_pInputBuffer,
                          ZvSampleBuffer* io_pMixBuffer) = 0;                       // 9
    virtual void FinishMix(ZvSampleBuffer* io_pMixBuffer) = 0;                      // 10
    virtual void PostEffects(ZvSampleBuffer* io_pMixBuffer) = 0;                    // 11
    virtual void EndFrame(uint32_t in_uFrameIndex, IFrameEndHooks* in_pHooks) = 0;  // 12
};

}  // namespace ZV
