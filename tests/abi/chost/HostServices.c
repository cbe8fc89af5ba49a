#include "HostServices.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* ---- Slots a plug-in must not call ---- */

static void UnexpectedSlot(const void* in_pThis, int in_iSlot) {
    fprintf(stderr, "chost: FAILED: a plug-in called slot %d of the %s, which it must not call\n",
            in_iSlot, ((const ZvcHostObject*)in_pThis)->pszName);
    fflush(stderr);
    exit(1);
}

#define ZVC_TRAP(in_slot)                                   \
    static void ZV_THISCALL Trap##in_slot(void* in_pThis) { \
        UnexpectedSlot(in_pThis, in_slot);                  \
    }
ZVC_TRAP(0)
ZVC_TRAP(1)
ZVC_TRAP(2)
ZVC_TRAP(3)
ZVC_TRAP(4)
ZVC_TRAP(5)
ZVC_TRAP(6)
ZVC_TRAP(7)
ZVC_TRAP(8)
ZVC_TRAP(9)
ZVC_TRAP(10)
ZVC_TRAP(11)
ZVC_TRAP(12)
ZVC_TRAP(13)
ZVC_TRAP(14)
ZVC_TRAP(15)
ZVC_TRAP(16)
ZVC_TRAP(17)
#undef ZVC_TRAP

static const ZvcFunction kTraps[] = {(ZvcFunction)Trap0,  (ZvcFunction)Trap1,  (ZvcFunction)Trap2,
                                     (ZvcFunction)Trap3,  (ZvcFunction)Trap4,  (ZvcFunction)Trap5,
                                     (ZvcFunction)Trap6,  (ZvcFunction)Trap7,  (ZvcFunction)Trap8,
                                     (ZvcFunction)Trap9,  (ZvcFunction)Trap10, (ZvcFunction)Trap11,
                                     (ZvcFunction)Trap12, (ZvcFunction)Trap13, (ZvcFunction)Trap14,
                                     (ZvcFunction)Trap15, (ZvcFunction)Trap16, (ZvcFunction)Trap17};

/* in_uCount traps, then the documented entries are set over them. */
static void FillWithTraps(ZvcFunction* out_pTable, size_t in_uCount) {
    for (size_t uSlot = 0; uSlot < in_uCount; ++uSlot) {
        out_pTable[uSlot] = kTraps[uSlot];
    }
}

ZvcChannelLayout ZvcLayoutFromMask(uint32_t in_uMask) {
    uint32_t uChannels = 0;
    for (uint32_t uBits = in_uMask; uBits != 0; uBits &= uBits - 1) {
        ++uChannels;
    }
    ZvcChannelLayout layout = {uChannels | 0x100u | (in_uMask << 12)};
    return layout;
}

uint32_t ZvcLayoutChannels(ZvcChannelLayout in_layout) {
    return in_layout.uWord & 0xFFu;
}

/* ---- The allocator ---- */

enum { kBlockHeader = 16 }; /* keeps blocks aligned as malloc's */

static void* ZV_THISCALL AllocatorMalloc(ZvcAllocator* in_pThis, size_t in_uSize) {
    unsigned char* pBlock = malloc(in_uSize + kBlockHeader);
    if (pBlock == NULL) {
        return NULL;
    }
    memcpy(pBlock, &in_uSize, sizeof(in_uSize));
    atomic_fetch_add(&in_pThis->uLiveBlocks, 1);
    atomic_fetch_add(&in_pThis->uLiveBytes, in_uSize);
    atomic_fetch_add(&in_pThis->uAllocations, 1);
    return pBlock + kBlockHeader;
}

static void ZV_THISCALL AllocatorFree(ZvcAllocator* in_pThis, void* in_pMemory) {
    if (in_pMemory == NULL) {
        return;
    }
    unsigned char* pBlock = (unsigned char*)in_pMemory - kBlockHeader;
    size_t uSize = 0;
    memcpy(&uSize, pBlock, sizeof(uSize));
    atomic_fetch_sub(&in_pThis->uLiveBlocks, 1);
    atomic_fetch_sub(&in_pThis->uLiveBytes, uSize);
    free(pBlock);
}

void ZvcInitAllocator(ZvcAllocator* out_pAllocator) {
    static ZvcFunction s_table[3];
    FillWithTraps(s_table, 3);
    s_table[ZVS_IPluginMemAlloc_Malloc] = (ZvcFunction)AllocatorMalloc;
    s_table[ZVS_IPluginMemAlloc_Free] = (ZvcFunction)AllocatorFree;
    out_pAllocator->object.pVtable = s_table;
    out_pAllocator->object.pszName = "allocator";
    atomic_init(&out_pAllocator->uLiveBlocks, 0);
    atomic_init(&out_pAllocator->uLiveBytes, 0);
    atomic_init(&out_pAllocator->uAllocations, 0);
}

/* ---- The global context ---- */

static uint16_t ZV_THISCALL GlobalGetFramesPerBuffer(const ZvcGlobalContext* in_pThis) {
    return in_pThis->uFramesPerBuffer;
}

static float Ramp(float in_fFrom, float in_fTo, uint32_t in_uFrame, uint32_t in_uFrames) {
    return in_fFrom + (in_fTo - in_fFrom) * (float)in_uFrame / (float)in_uFrames;
}

/* Adds every input channel into every output channel through the two matrices, both the matrix
 * gains and the overall gain ramping across the buffer. */
static void ZV_THISCALL GlobalMixWithVolumes(ZvcGlobalContext* in_pThis,
                                             const ZvcSampleBuffer* in_pInput,
                                             ZvcSampleBuffer* io_pOutput, float in_fPrevGain,
                                             float in_fNextGain,
                                             const ZvcSpeakerVolumeMatrix* in_pPrev,
                                             const ZvcSpeakerVolumeMatrix* in_pNext) {
    ++in_pThis->uMixCalls;
    const uint32_t uFrames = in_pInput->uValidFrames;
    const uint32_t uStride = (in_pPrev->uNumOutputs + 3u) & ~3u;
    const uint32_t uInputs = ZvcLayoutChannels(in_pInput->channelConfig);
    const uint32_t uOutputs = ZvcLayoutChannels(io_pOutput->channelConfig);
    for (uint32_t uIn = 0; uIn < uInputs && uIn < in_pPrev->uNumInputs; ++uIn) {
        for (uint32_t uOut = 0; uOut < uOutputs && uOut < in_pPrev->uNumOutputs; ++uOut) {
            const float fPrev = in_pPrev->pVolumes[uIn * uStride + uOut];
            const float fNext = in_pNext->pVolumes[uIn * uStride + uOut];
            const float* pSource = in_pInput->pData + uIn * in_pInput->uMaxFrames;
            float* pDestination = io_pOutput->pData + uOut * io_pOutput->uMaxFrames;
            for (uint32_t uFrame = 0; uFrame < uFrames && uFrame < io_pOutput->uMaxFrames;
                 ++uFrame) {
                pDestination[uFrame] += pSource[uFrame] *
                                        Ramp(in_fPrevGain, in_fNextGain, uFrame, uFrames) *
                                        Ramp(fPrev, fNext, uFrame, uFrames);
            }
        }
    }
}

static void ZV_THISCALL GlobalAddChannelRamped(ZvcGlobalContext* in_pThis, const float* in_pSource,
                                               float* io_pDestination, float in_fPrevGain,
                                               float in_fNextGain, uint32_t in_uFrames) {
    ++in_pThis->uAddCalls;
    for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        io_pDestination[uFrame] +=
            in_pSource[uFrame] * Ramp(in_fPrevGain, in_fNextGain, uFrame, in_uFrames);
    }
}

void ZvcInitGlobalContext(ZvcGlobalContext* out_pGlobal, uint16_t in_uFramesPerBuffer) {
    static ZvcFunction s_table[16];
    FillWithTraps(s_table, 16);
    s_table[ZVS_IGlobalPluginContext_GetFramesPerBuffer] = (ZvcFunction)GlobalGetFramesPerBuffer;
    s_table[ZVS_IGlobalPluginContext_MixWithVolumes] = (ZvcFunction)GlobalMixWithVolumes;
    s_table[ZVS_IGlobalPluginContext_AddChannelRamped] = (ZvcFunction)GlobalAddChannelRamped;
    memset(out_pGlobal, 0, sizeof(*out_pGlobal));
    out_pGlobal->object.pVtable = s_table;
    out_pGlobal->object.pszName = "global context";
    out_pGlobal->uFramesPerBuffer = in_uFramesPerBuffer;
}

/* ---- The plug-in contexts ---- */

static ZvcGlobalContext* ZV_THISCALL ContextGlobalContext(const ZvcPluginContext* in_pThis) {
    return in_pThis->pGlobal;
}

static int32_t ZV_THISCALL ContextPostMonitorData(ZvcPluginContext* in_pThis, const void* in_pData,
                                                  uint32_t in_uSize) {
    ++in_pThis->uMonitorRecords;
    in_pThis->uLastRecordSize = in_uSize;
    memcpy(in_pThis->aLastRecord, in_pData,
           in_uSize < sizeof(in_pThis->aLastRecord) ? in_uSize : sizeof(in_pThis->aLastRecord));
    return ZVC_Success;
}

static _Bool ZV_THISCALL ContextCanPostMonitorData(ZvcPluginContext* in_pThis) {
    (void)in_pThis;
    return 1;
}

static int32_t ZV_THISCALL ContextPostMonitorMessage(ZvcPluginContext* in_pThis,
                                                     const char* in_pszMessage,
                                                     uint32_t in_eLevel) {
    ++in_pThis->uMessages;
    printf("chost: the %s posts (level %u): %s\n", in_pThis->object.pszName, (unsigned)in_eLevel,
           in_pszMessage);
    return ZVC_Success;
}

static uint16_t ZV_THISCALL SinkContextGetBufferCount(const ZvcPluginContext* in_pThis) {
    return in_pThis->uBufferCount;
}

/* The slots 0 to 7 that every context shares; in_uCount entries in all. */
static void FillContextTable(ZvcFunction* out_pTable, size_t in_uCount) {
    FillWithTraps(out_pTable, in_uCount);
    out_pTable[ZVS_IPluginContextBase_GlobalContext] = (ZvcFunction)ContextGlobalContext;
    out_pTable[ZVS_IPluginContextBase_PostMonitorData] = (ZvcFunction)ContextPostMonitorData;
    out_pTable[ZVS_IPluginContextBase_CanPostMonitorData] = (ZvcFunction)ContextCanPostMonitorData;
    out_pTable[ZVS_IPluginContextBase_PostMonitorMessage] = (ZvcFunction)ContextPostMonitorMessage;
}

static void InitContext(ZvcPluginContext* out_pContext, const ZvcFunction* in_pTable,
                        const char* in_pszName, ZvcGlobalContext* in_pGlobal) {
    memset(out_pContext, 0, sizeof(*out_pContext));
    out_pContext->object.pVtable = in_pTable;
    out_pContext->object.pszName = in_pszName;
    out_pContext->pGlobal = in_pGlobal;
}

void ZvcInitSinkContext(ZvcPluginContext* out_pContext, ZvcGlobalContext* in_pGlobal,
                        uint16_t in_uBufferCount) {
    static ZvcFunction s_table[14];
    FillContextTable(s_table, 14);
    s_table[ZVS_ISinkPluginContext_GetBufferCount] = (ZvcFunction)SinkContextGetBufferCount;
    InitContext(out_pContext, s_table, "sink context", in_pGlobal);
    out_pContext->uBufferCount = in_uBufferCount;
}

void ZvcInitEffectContext(ZvcPluginContext* out_pContext, ZvcGlobalContext* in_pGlobal) {
    static ZvcFunction s_table[8];
    FillContextTable(s_table, 8);
    InitContext(out_pContext, s_table, "effect context", in_pGlobal);
}

void ZvcInitMixerContext(ZvcPluginContext* out_pContext, ZvcGlobalContext* in_pGlobal) {
    static ZvcFunction s_table[8];
    FillContextTable(s_table, 8);
    InitContext(out_pContext, s_table, "mixer context", in_pGlobal);
}

/* ---- Mixer inputs ---- */

static void* ZV_THISCALL InputGetAttachmentParameters(const ZvcInputContext* in_pThis) {
    return in_pThis->pAttachment;
}

static uint32_t ZV_THISCALL InputGetConnectionType(const ZvcInputContext* in_pThis) {
    (void)in_pThis;
    return 0;
}

static void* ZV_THISCALL InputGetInputData(const ZvcInputContext* in_pThis) {
    return in_pThis->pInputData;
}

static void ZV_THISCALL InputSetInputData(ZvcInputContext* in_pThis, void* in_pData) {
    in_pThis->pInputData = in_pData;
}

static uint32_t ZV_THISCALL InputGetRayCount(const ZvcInputContext* in_pThis) {
    (void)in_pThis;
    return 1;
}

static int32_t ZV_THISCALL InputGet3DPosition(const ZvcInputContext* in_pThis, uint32_t in_uIndex,
                                              ZvcEmitterRay* out_pRay) {
    if (in_uIndex != 0) {
        return 2;
    }
    out_pRay->fDistance = in_pThis->fDistance;
    out_pRay->fAzimuth = in_pThis->fAzimuth;
    out_pRay->fElevation = in_pThis->fElevation;
    return ZVC_Success;
}

/* Input channel i to output channel i modulo the outputs, at full gain. */
static int32_t ZV_THISCALL InputComputeSpeakerVolumes(ZvcInputContext* in_pThis,
                                                      ZvcChannelLayout in_input,
                                                      ZvcChannelLayout in_output,
                                                      ZvcSpeakerVolumeMatrix* out_pPrev,
                                                      ZvcSpeakerVolumeMatrix* out_pNext) {
    in_pThis->lastInput = in_input;
    in_pThis->lastOutput = in_output;
    ZvcSpeakerVolumeMatrix* apMatrices[2] = {out_pPrev, out_pNext};
    for (int iMatrix = 0; iMatrix < 2; ++iMatrix) {
        ZvcSpeakerVolumeMatrix* pMatrix = apMatrices[iMatrix];
        const uint32_t uStride = (pMatrix->uNumOutputs + 3u) & ~3u;
        for (uint32_t uIn = 0; uIn < pMatrix->uNumInputs; ++uIn) {
            for (uint32_t uOut = 0; uOut < uStride; ++uOut) {
                pMatrix->pVolumes[uIn * uStride + uOut] =
                    pMatrix->uNumOutputs != 0 && uOut == uIn % pMatrix->uNumOutputs ? 1.0f : 0.0f;
            }
        }
    }
    return ZVC_Success;
}

void ZvcInitInputContext(ZvcInputContext* out_pInput, const char* in_pszName, void* in_pAttachment,
                         float in_fDistance, float in_fAzimuth) {
    static ZvcFunction s_table[18];
    FillWithTraps(s_table, 18);
    s_table[ZVS_IMixerInputContext_GetAttachmentParameters] =
        (ZvcFunction)InputGetAttachmentParameters;
    s_table[ZVS_IMixerInputContext_GetConnectionType] = (ZvcFunction)InputGetConnectionType;
    s_table[ZVS_IMixerInputContext_GetInputData] = (ZvcFunction)InputGetInputData;
    s_table[ZVS_IMixerInputContext_SetInputData] = (ZvcFunction)InputSetInputData;
    s_table[ZVS_IMixerInputContext_GetRayCount] = (ZvcFunction)InputGetRayCount;
    s_table[ZVS_IMixerInputContext_Get3DPosition] = (ZvcFunction)InputGet3DPosition;
    s_table[ZVS_IMixerInputContext_ComputeSpeakerVolumes] = (ZvcFunction)InputComputeSpeakerVolumes;
    memset(out_pInput, 0, sizeof(*out_pInput));
    out_pInput->object.pVtable = s_table;
    out_pInput->object.pszName = in_pszName;
    out_pInput->pAttachment = in_pAttachment;
    out_pInput->fDistance = in_fDistance;
    out_pInput->fAzimuth = in_fAzimuth;
}

/* ---- Frame-end hooks ---- */

static void RecordHook(ZvcFrameEndHooks* io_pHooks, char in_cSlot) {
    if (io_pHooks->uCalls + 1 < sizeof(io_pHooks->acCalls)) {
        io_pHooks->acCalls[io_pHooks->uCalls++] = in_cSlot;
        io_pHooks->acCalls[io_pHooks->uCalls] = '\0';
    }
}

static void ZV_THISCALL HooksOnFlushBegin(ZvcFrameEndHooks* in_pThis) {
    RecordHook(in_pThis, '1');
}
static void ZV_THISCALL HooksOnFlush(ZvcFrameEndHooks* in_pThis) {
    RecordHook(in_pThis, '2');
}
static void ZV_THISCALL HooksOnFlushEnd(ZvcFrameEndHooks* in_pThis) {
    RecordHook(in_pThis, '3');
}
static void ZV_THISCALL HooksOnFrameDone(ZvcFrameEndHooks* in_pThis) {
    RecordHook(in_pThis, '4');
}

void ZvcInitFrameEndHooks(ZvcFrameEndHooks* out_pHooks) {
    static ZvcFunction s_table[5];
    FillWithTraps(s_table, 5);
    s_table[ZVS_IFrameEndHooks_OnFlushBegin] = (ZvcFunction)HooksOnFlushBegin;
    s_table[ZVS_IFrameEndHooks_OnFlush] = (ZvcFunction)HooksOnFlush;
    s_table[ZVS_IFrameEndHooks_OnFlushEnd] = (ZvcFunction)HooksOnFlushEnd;
    s_table[ZVS_IFrameEndHooks_OnFrameDone] = (ZvcFunction)HooksOnFrameDone;
    memset(out_pHooks, 0, sizeof(*out_pHooks));
    out_pHooks->object.pVtable = s_table;
    out_pHooks->object.pszName = "frame-end hooks";
}
