/* chost: a host engine written in C, which knows the plug-ins only by the documented slot numbers
 * and record layouts (EngineAbi.h, DocumentedSlots.h), never by their C++ declarations. It loads
 * engine libraries, finds the plug-ins through their exported registration lists, creates each
 * plug-in with its parameter object, initialises it, runs frames through it, ends it with
 * TermPlugin and TermParameters, and checks that nothing it handed out is left: so a slot that
 * stands at another index in the build, a record that crosses differently, or a call in the wrong
 * convention fails here (the host's own vtables are C too, so a plug-in's calls into the host are
 * checked as well).
 *
 *   chost [--sink LIBRARY] [--effect LIBRARY] [--mixer LIBRARY]
 *
 * Exit code 0 when every check held, 1 otherwise, 2 for a usage error. */

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ChostPlatform.h"
#include "EngineAbi.h"
#include "HostServices.h"

enum { kFrames = 480, kRunFrames = 24 };

static unsigned g_uChecks;
static unsigned g_uFailures;

#define CHECK(in_condition, ...)                                              \
    do {                                                                      \
        ++g_uChecks;                                                          \
        if (!(in_condition)) {                                                \
            ++g_uFailures;                                                    \
            printf("chost: FAILED (line %d): %s: ", __LINE__, #in_condition); \
            printf(__VA_ARGS__);                                              \
            printf("\n");                                                     \
        }                                                                     \
    } while (0)

/* ---- Calls by slot ---- */

typedef void*(ZV_THISCALL* DestructorSlotFn)(void*, uint32_t);
typedef int32_t(ZV_THISCALL* SetParameterFn)(void*, uint16_t, const void*, uint32_t);
typedef void*(ZV_THISCALL* CloneParametersFn)(void*, ZvcAllocator*);
typedef int32_t(ZV_THISCALL* SetParameterBlockFn)(void*, const void*, uint32_t);
typedef int32_t(ZV_THISCALL* InitParametersFn)(void*, ZvcAllocator*, const void*, uint32_t);
typedef int32_t(ZV_THISCALL* TermFn)(void*, ZvcAllocator*);
typedef int32_t(ZV_THISCALL* ResultFn)(void*);
typedef int32_t(ZV_THISCALL* DescribeFn)(void*, ZvcPluginInfo*);
typedef _Bool(ZV_THISCALL* BoolFn)(void*);
typedef int32_t(ZV_THISCALL* TwoArgumentFn)(void*, const uint8_t*, const uint8_t*);
typedef int32_t(ZV_THISCALL* InitPluginFn)(void*, ZvcAllocator*, ZvcPluginContext*, void*,
                                           ZvcAudioFormat*);
typedef int32_t(ZV_THISCALL* IsDataNeededFn)(void*, uint32_t*);
typedef void(ZV_THISCALL* ConsumeFrameFn)(void*, ZvcSampleBuffer*, ZvcVolumeRamp);
typedef void(ZV_THISCALL* VoidFn)(void*);
typedef void(ZV_THISCALL* BufferFn)(void*, ZvcSampleBuffer*);
typedef int32_t(ZV_THISCALL* TimeSkipFn)(void*, uint32_t);
typedef void(ZV_THISCALL* InputFn)(void*, ZvcInputContext*);
typedef void(ZV_THISCALL* MixInputFn)(void*, ZvcInputContext*, ZvcVolumeRamp, ZvcVolumeRamp,
                                      ZvcSampleBuffer*, ZvcSampleBuffer*);
typedef void(ZV_THISCALL* EndFrameFn)(void*, uint32_t, ZvcFrameEndHooks*);

static const float kHalf = 0.5f;
static const float kZero = 0.0f;

/* ---- Libraries and records ---- */

static ZvcRegistration* FindRecord(void* in_pLibrary, uint32_t in_uPluginId) {
    ZvcRegistration** ppHead = (ZvcRegistration**)ZvcFindExport(in_pLibrary, "g_pZVPluginList");
    if (ppHead == NULL) {
        return NULL;
    }
    for (ZvcRegistration* pRecord = *ppHead; pRecord != NULL; pRecord = pRecord->pNext) {
        if (pRecord->uCompanyId == ZVC_CompanyId && pRecord->uPluginId == in_uPluginId) {
            return pRecord;
        }
    }
    return NULL;
}

/* A buffer of in_uMask's layout, channel c holding the constant in_afLevels[c]. */
typedef struct OwnedBuffer {
    ZvcSampleBuffer buffer;
    float afSamples[12 * kFrames];
} OwnedBuffer;

static void FillBuffer(OwnedBuffer* out_pBuffer, uint32_t in_uMask, const float* in_afLevels) {
    memset(out_pBuffer, 0, sizeof(*out_pBuffer));
    out_pBuffer->buffer.pData = out_pBuffer->afSamples;
    out_pBuffer->buffer.channelConfig = ZvcLayoutFromMask(in_uMask);
    out_pBuffer->buffer.uMaxFrames = kFrames;
    out_pBuffer->buffer.uValidFrames = kFrames;
    const uint32_t uChannels = ZvcLayoutChannels(out_pBuffer->buffer.channelConfig);
    for (uint32_t uChannel = 0; uChannel < uChannels && in_afLevels != NULL; ++uChannel) {
        for (uint32_t uFrame = 0; uFrame < kFrames; ++uFrame) {
            out_pBuffer->afSamples[uChannel * kFrames + uFrame] = in_afLevels[uChannel];
        }
    }
}

static float ChannelPeak(const ZvcSampleBuffer* in_pBuffer, uint32_t in_uChannel) {
    float fPeak = 0.0f;
    for (uint32_t uFrame = 0; uFrame < in_pBuffer->uValidFrames; ++uFrame) {
        fPeak =
            fmaxf(fPeak, fabsf(in_pBuffer->pData[in_uChannel * in_pBuffer->uMaxFrames + uFrame]));
    }
    return fPeak;
}

static int Near(float in_fValue, float in_fExpected) {
    return fabsf(in_fValue - in_fExpected) <= 1e-4f;
}

/* Where the renderer can be inspected, the peak that objects of in_uObjectType received. */
static void CheckRendered(const char* in_pszWhat, uint32_t in_uObjectType, float in_fExpected) {
    const float fPeak = ZvcRenderedPeak(in_uObjectType);
    if (fPeak >= 0.0f) {
        CHECK(Near(fPeak, in_fExpected), "%s: the renderer received %g, expected %g", in_pszWhat,
              fPeak, in_fExpected);
    }
}

/* Slot 0 of an object is no destructor: it answers the object itself and frees nothing. */
static void CheckDestructorSlot(const char* in_pszWhat, void* in_pObject,
                                const ZvcAllocator* in_pAllocator) {
    const size_t uLive = atomic_load(&in_pAllocator->uLiveBlocks);
    void* pAnswer =
        ZVC_ENTRY(DestructorSlotFn, in_pObject, ZVS_IPlugin_DestructorSlot)(in_pObject, 1);
    CHECK(pAnswer == in_pObject, "%s: slot 0 answered %p for %p", in_pszWhat, pAnswer, in_pObject);
    CHECK(atomic_load(&in_pAllocator->uLiveBlocks) == uLive, "%s: slot 0 freed memory", in_pszWhat);
}

/* The common slots 1 to 5 of a plug-in before InitPlugin. */
static void CheckPluginBase(const char* in_pszWhat, void* in_pPlugin, uint32_t in_eType,
                            uint8_t in_bInPlaceFlag, ZvcAllocator* in_pAllocator) {
    CheckDestructorSlot(in_pszWhat, in_pPlugin, in_pAllocator);
    ZvcPluginInfo info;
    memset(&info, 0xEE, sizeof(info));
    CHECK(ZVC_ENTRY(DescribeFn, in_pPlugin, ZVS_IPlugin_DescribePlugin)(in_pPlugin, &info) ==
              ZVC_Success,
          "%s: DescribePlugin", in_pszWhat);
    CHECK(info.eType == in_eType && info.uBuildVersion == ZVC_BuildVersion &&
              info.abFlags[0] == in_bInPlaceFlag,
          "%s: described as type %u, version 0x%X, flag %u", in_pszWhat, (unsigned)info.eType,
          (unsigned)info.uBuildVersion, (unsigned)info.abFlags[0]);
    CHECK(!ZVC_ENTRY(BoolFn, in_pPlugin, ZVS_IPlugin_SupportsOfflineRendering)(in_pPlugin),
          "%s: slot 4 answers false", in_pszWhat);
    CHECK(ZVC_ENTRY(TwoArgumentFn, in_pPlugin, ZVS_IPlugin_RelocateMedia)(in_pPlugin, NULL, NULL) ==
              0,
          "%s: slot 5 answers 0", in_pszWhat);
}

/* A parameter object from in_pRecord, initialised from in_pBlock, with a clone made and ended. */
static void* CreateParameters(const char* in_pszWhat, const ZvcRegistration* in_pRecord,
                              ZvcAllocator* in_pAllocator, const void* in_pBlock,
                              uint32_t in_uBlockSize) {
    void* pParams = in_pRecord->pCreateParam(in_pAllocator);
    CHECK(pParams != NULL, "%s: the parameter factory gave nothing", in_pszWhat);
    if (pParams == NULL) {
        return NULL;
    }
    CheckDestructorSlot(in_pszWhat, pParams, in_pAllocator);
    CHECK(ZVC_ENTRY(InitParametersFn, pParams, ZVS_IPluginParam_InitParameters)(
              pParams, in_pAllocator, in_pBlock, in_uBlockSize) == ZVC_Success,
          "%s: InitParameters", in_pszWhat);
    void* pClone = ZVC_ENTRY(CloneParametersFn, pParams, ZVS_IPluginParam_CloneParameters)(
        pParams, in_pAllocator);
    CHECK(pClone != NULL && pClone != pParams, "%s: CloneParameters", in_pszWhat);
    if (pClone != NULL) {
        CHECK(ZVC_ENTRY(TermFn, pClone, ZVS_IPluginParam_TermParameters)(pClone, in_pAllocator) ==
                  ZVC_Success,
              "%s: TermParameters of the clone", in_pszWhat);
    }
    if (in_uBlockSize != 0) {
        CHECK(ZVC_ENTRY(SetParameterBlockFn, pParams, ZVS_IPluginParam_SetParameterBlock)(
                  pParams, in_pBlock, in_uBlockSize) == ZVC_Success,
              "%s: SetParameterBlock", in_pszWhat);
    }
    return pParams;
}

static void EndParameters(const char* in_pszWhat, void* in_pParams, ZvcAllocator* in_pAllocator) {
    if (in_pParams != NULL) {
        CHECK(ZVC_ENTRY(TermFn, in_pParams, ZVS_IPluginParam_TermParameters)(
                  in_pParams, in_pAllocator) == ZVC_Success,
              "%s: TermParameters", in_pszWhat);
    }
}

static void CheckNothingLeft(const char* in_pszWhat, const ZvcAllocator* in_pAllocator) {
    const size_t uBlocks = atomic_load(&in_pAllocator->uLiveBlocks);
    CHECK(uBlocks == 0 && atomic_load(&in_pAllocator->uLiveBytes) == 0,
          "%s: %zu blocks (%zu bytes) of %zu allocations are still allocated", in_pszWhat, uBlocks,
          atomic_load(&in_pAllocator->uLiveBytes), atomic_load(&in_pAllocator->uAllocations));
    const int iLive = ZvcNothingLive();
    CHECK(iLive != 0, "%s: platform objects are still alive", in_pszWhat);
    printf("chost: %s: %zu allocations, none left%s\n", in_pszWhat,
           atomic_load(&in_pAllocator->uAllocations),
           iLive == 1 ? ", no platform object alive" : "");
}

/* What one plug-in's run needs from the host: a fresh allocator, a global context and the
 * plug-in's context (set up by the kind's own initialiser). */
typedef struct Session {
    ZvcAllocator allocator;
    ZvcGlobalContext global;
    ZvcPluginContext context;
} Session;

/* The record of in_uPluginId with a plug-in factory and the kind in_eType, and a fresh session;
 * null (after a failed check) when the library lacks it. */
static const ZvcRegistration* BeginSession(const char* in_pszWhat, void* in_pLibrary,
                                           uint32_t in_uPluginId, uint32_t in_eType,
                                           Session* out_pSession) {
    const ZvcRegistration* pRecord = FindRecord(in_pLibrary, in_uPluginId);
    CHECK(pRecord != NULL && pRecord->eType == in_eType && pRecord->pCreatePlugin != NULL,
          "the library carries the %s", in_pszWhat);
    if (pRecord == NULL || pRecord->pCreatePlugin == NULL) {
        return NULL;
    }
    ZvcInitAllocator(&out_pSession->allocator);
    ZvcInitGlobalContext(&out_pSession->global, kFrames);
    return pRecord;
}

/* Ends the plug-in (if any) and its parameter object, and checks that nothing is left. */
static void EndSession(const char* in_pszWhat, void* in_pPlugin, void* in_pParams,
                       Session* io_pSession) {
    if (in_pPlugin != NULL) {
        CHECK(ZVC_ENTRY(TermFn, in_pPlugin, ZVS_IPlugin_TermPlugin)(
                  in_pPlugin, &io_pSession->allocator) == ZVC_Success,
              "%s: TermPlugin", in_pszWhat);
    }
    EndParameters(in_pszWhat, in_pParams, &io_pSession->allocator);
    CheckNothingLeft(in_pszWhat, &io_pSession->allocator);
}

/* ---- The sink ---- */

static void RunSink(void* in_pLibrary) {
    Session session;
    const ZvcRegistration* pRecord = BeginSession("sink", in_pLibrary, ZVC_SinkId, 7, &session);
    if (pRecord == NULL) {
        return;
    }
    ZvcInitSinkContext(&session.context, &session.global, 2);

    /* DirectGain 1.0, stereo; then DirectGain 0.5 by SetParameter. */
    const uint8_t abBlock[8] = {0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0};
    void* pParams = CreateParameters("sink parameters", pRecord, &session.allocator, abBlock, 8);
    if (pParams == NULL) {
        return;
    }
    CHECK(ZVC_ENTRY(SetParameterFn, pParams, ZVS_IPluginParam_SetParameter)(pParams, 0, &kHalf,
                                                                            4) == ZVC_Success,
          "sink: DirectGain 0.5");
    CHECK(ZVC_ENTRY(SetParameterFn, pParams, ZVS_IPluginParam_SetParameter)(pParams, 2, &kHalf,
                                                                            4) == ZVC_BadParameter,
          "sink: parameter 2 does not exist");

    void* pSink = pRecord->pCreatePlugin(&session.allocator);
    CHECK(pSink != NULL, "sink: the factory gave nothing");
    if (pSink != NULL) {
        CheckPluginBase("sink", pSink, 7, 0, &session.allocator);
        CHECK(ZVC_ENTRY(ResultFn, pSink, ZVS_ISinkPlugin_ResetPlugin)(pSink) == ZVC_Success,
              "sink: ResetPlugin");
        ZvcAudioFormat format = {48000, {0}};
        const int32_t eInit = ZVC_ENTRY(InitPluginFn, pSink, ZVS_ISinkPlugin_InitPlugin)(
            pSink, &session.allocator, &session.context, pParams, &format);
        CHECK(eInit == ZVC_Success, "sink: InitPlugin gave %d", (int)eInit);
        CHECK(format.channelConfig.uWord == ZvcLayoutFromMask(0x3).uWord,
              "sink: the format record says layout 0x%X", (unsigned)format.channelConfig.uWord);

        /* Constant levels, a ramp of 0.5 and DirectGain 0.5: the bed's front objects play a
         * quarter of each level. */
        static OwnedBuffer s_buffer;
        const float afLevels[2] = {0.8f, -0.4f};
        const ZvcVolumeRamp ramp = {0.5f, 0.5f};
        unsigned uConsumed = 0;
        for (int iFrame = 0; iFrame < kRunFrames && eInit == ZVC_Success; ++iFrame) {
            FillBuffer(&s_buffer, 0x3, afLevels);
            uint32_t uNeeded = 7;
            CHECK(ZVC_ENTRY(IsDataNeededFn, pSink, ZVS_ISinkPlugin_IsDataNeeded)(pSink, &uNeeded) ==
                      ZVC_Success,
                  "sink: IsDataNeeded");
            CHECK(uNeeded <= 1, "sink: IsDataNeeded wrote %u", (unsigned)uNeeded);
            if (uNeeded == 1) {
                ZVC_ENTRY(ConsumeFrameFn, pSink, ZVS_ISinkPlugin_ConsumeFrame)
                (pSink, &s_buffer.buffer, ramp);
                ++uConsumed;
            }
            ZVC_ENTRY(VoidFn, pSink, ZVS_ISinkPlugin_OnFrameEnd)(pSink);
            ZvcRenderPass();
        }
        CHECK(uConsumed > 0, "sink: it never wanted data");
        CHECK(!ZVC_ENTRY(BoolFn, pSink, ZVS_ISinkPlugin_IsStarved)(pSink), "sink: IsStarved");
        ZVC_ENTRY(VoidFn, pSink, ZVS_ISinkPlugin_ResetStarved)(pSink);
        CheckRendered("sink, front left", 0x2, 0.2f);
        CheckRendered("sink, front right", 0x4, 0.1f);
    }
    EndSession("sink", pSink, pParams, &session);
}

/* ---- The effect ---- */

static void RunEffect(void* in_pLibrary) {
    Session session;
    const ZvcRegistration* pRecord = BeginSession("effect", in_pLibrary, ZVC_EffectId, 3, &session);
    if (pRecord == NULL) {
        return;
    }
    ZvcInitEffectContext(&session.context, &session.global);

    void* pParams = CreateParameters("effect parameters", pRecord, &session.allocator, NULL, 0);
    if (pParams == NULL) {
        return;
    }
    void* pEffect = pRecord->pCreatePlugin(&session.allocator);
    CHECK(pEffect != NULL, "effect: the factory gave nothing");
    if (pEffect != NULL) {
        CheckPluginBase("effect", pEffect, 3, 1, &session.allocator);
        CHECK(ZVC_ENTRY(TimeSkipFn, pEffect, ZVS_IInPlaceEffectPlugin_TimeSkip)(pEffect, 480) ==
                  ZVC_UnsupportedOperation,
              "effect: slot 8 answers 45");
        /* A 5.1 bus. */
        const uint32_t uMask = 0x3F;
        ZvcAudioFormat format = {48000, ZvcLayoutFromMask(uMask)};
        const int32_t eInit = ZVC_ENTRY(InitPluginFn, pEffect, ZVS_IInPlaceEffectPlugin_InitPlugin)(
            pEffect, &session.allocator, &session.context, pParams, &format);
        CHECK(eInit == ZVC_Success, "effect: InitPlugin gave %d", (int)eInit);
        CHECK(ZVC_ENTRY(ResultFn, pEffect, ZVS_IInPlaceEffectPlugin_ResetPlugin)(pEffect) ==
                  ZVC_Success,
              "effect: ResetPlugin");

        /* While its stream runs and the renderer offers spatial sound, the effect takes the bus
         * to the bed and leaves silence; otherwise (Wine's renderer grants no dynamic objects) it
         * leaves the bus untouched. */
        static OwnedBuffer s_buffer;
        const float afLevels[6] = {0.3f, 0.0f, 0.6f, 0.0f, 0.0f, 0.0f};
        unsigned uSilenced = 0;
        for (int iFrame = 0; iFrame < kRunFrames && eInit == ZVC_Success; ++iFrame) {
            FillBuffer(&s_buffer, uMask, afLevels);
            ZVC_ENTRY(BufferFn, pEffect, ZVS_IInPlaceEffectPlugin_ProcessInPlace)
            (pEffect, &s_buffer.buffer);
            const float fLeft = ChannelPeak(&s_buffer.buffer, 0);
            const float fCentre = ChannelPeak(&s_buffer.buffer, 2);
            const int bSilenced = Near(fLeft, 0.0f) && Near(fCentre, 0.0f);
            CHECK(bSilenced || (Near(fLeft, 0.3f) && Near(fCentre, 0.6f)),
                  "effect: the bus holds %g and %g", fLeft, fCentre);
            uSilenced += bSilenced;
            ZvcRenderPass();
        }
        printf("chost: effect: %u of %d frames went to the renderer\n", uSilenced, kRunFrames);
        if (ZvcRenderedPeak(0x2) >= 0.0f) {
            CHECK(uSilenced == kRunFrames, "effect: %u frames went to the renderer", uSilenced);
        }
        CheckRendered("effect, front left", 0x2, 0.3f);
        CheckRendered("effect, front centre", 0x8, 0.6f);
    }
    EndSession("effect", pEffect, pParams, &session);
}

/* ---- The mixer ---- */

static void RunMixer(void* in_pLibrary) {
    Session session;
    const ZvcRegistration* pRecord = BeginSession("mixer", in_pLibrary, ZVC_MixerId, 6, &session);
    const ZvcRegistration* pAttachmentRecord = FindRecord(in_pLibrary, ZVC_MixerAttachmentId);
    CHECK(pAttachmentRecord != NULL && pAttachmentRecord->pCreatePlugin == NULL,
          "the library carries the mixer attachment, parameters only");
    if (pRecord == NULL || pAttachmentRecord == NULL) {
        return;
    }
    ZvcInitMixerContext(&session.context, &session.global);

    /* No bypass, at most 32 objects. */
    const uint8_t abBlock[5] = {0, 32, 0, 0, 0};
    void* pParams = CreateParameters("mixer parameters", pRecord, &session.allocator, abBlock, 5);
    /* Made without a block, an attachment keeps its input off the objects; this one lets it on. */
    void* pAttachment =
        CreateParameters("attachment", pAttachmentRecord, &session.allocator, NULL, 0);
    if (pParams == NULL || pAttachment == NULL) {
        return;
    }
    CHECK(ZVC_ENTRY(SetParameterFn, pAttachment, ZVS_IPluginParam_SetParameter)(
              pAttachment, 0, &kZero, 4) == ZVC_Success,
          "attachment: BypassLocal cleared");

    void* pMixer = pRecord->pCreatePlugin(&session.allocator);
    CHECK(pMixer != NULL, "mixer: the factory gave nothing");
    if (pMixer != NULL) {
        CheckPluginBase("mixer", pMixer, 6, 1, &session.allocator);
        const uint32_t uBusMask = 0x3;
        ZvcAudioFormat format = {48000, ZvcLayoutFromMask(uBusMask)};
        const int32_t eInit = ZVC_ENTRY(InitPluginFn, pMixer, ZVS_IMixerPlugin_InitPlugin)(
            pMixer, &session.allocator, &session.context, pParams, &format);
        CHECK(eInit == ZVC_Success, "mixer: InitPlugin gave %d", (int)eInit);

        /* Two mono voices at two places (objects where the renderer grants them), and a voice of
         * three channels, which always takes the bus. */
        ZvcInputContext aInputs[3];
        ZvcInitInputContext(&aInputs[0], "first mono input", pAttachment, 10.0f, 0.0f);
        ZvcInitInputContext(&aInputs[1], "second mono input", NULL, 5.0f, 1.5707964f);
        ZvcInitInputContext(&aInputs[2], "three-channel input", NULL, 3.0f, 0.0f);
        const uint32_t auMasks[3] = {0x4, 0x4, 0x7};
        const float afLevels[3][3] = {{0.8f}, {0.4f}, {0.6f, 0.2f, 0.0f}};
        for (int iInput = 0; iInput < 3; ++iInput) {
            ZVC_ENTRY(InputFn, pMixer, ZVS_IMixerPlugin_ConnectInput)(pMixer, &aInputs[iInput]);
        }
        static OwnedBuffer s_mix;
        static OwnedBuffer s_inputs[3];
        const ZvcVolumeRamp base = {0.5f, 0.5f};
        const ZvcVolumeRamp emitterListener = {0.5f, 0.5f};
        ZvcFrameEndHooks hooks;
        for (int iFrame = 0; iFrame < kRunFrames && eInit == ZVC_Success; ++iFrame) {
            FillBuffer(&s_mix, uBusMask, NULL);
            for (int iInput = 0; iInput < 3; ++iInput) {
                FillBuffer(&s_inputs[iInput], auMasks[iInput], afLevels[iInput]);
                ZVC_ENTRY(MixInputFn, pMixer, ZVS_IMixerPlugin_MixInput)
                (pMixer, &aInputs[iInput], base, emitterListener, &s_inputs[iInput].buffer,
                 &s_mix.buffer);
            }
            ZVC_ENTRY(BufferFn, pMixer, ZVS_IMixerPlugin_FinishMix)(pMixer, &s_mix.buffer);
            ZVC_ENTRY(BufferFn, pMixer, ZVS_IMixerPlugin_PostEffects)(pMixer, &s_mix.buffer);
            ZvcInitFrameEndHooks(&hooks);
            ZVC_ENTRY(EndFrameFn, pMixer, ZVS_IMixerPlugin_EndFrame)
            (pMixer, (uint32_t)iFrame, &hooks);
            CHECK(strcmp(hooks.acCalls, "1234") == 0, "mixer: EndFrame called the hooks %s",
                  hooks.acCalls);
            ZvcRenderPass();
        }
        /* The three-channel voice reaches the bus through MixWithVolumes: channel 0 to the left,
         * 1 to the right, 2 to the left again, each at 0.5 x 0.5; with the mono voices on objects
         * nothing else is in the bus, and without objects they add 0.25 x 1.2 to the left. */
        uint32_t auRecord[3] = {0, 0, 0};
        memcpy(auRecord, session.context.aLastRecord, sizeof(auRecord));
        CHECK(session.context.uMonitorRecords > 0 && session.context.uLastRecordSize == 12,
              "mixer: %u counter records, the last of %u bytes", session.context.uMonitorRecords,
              (unsigned)session.context.uLastRecordSize);
        CHECK(auRecord[1] == 3, "mixer: counted %u voices", (unsigned)auRecord[1]);
        const float fRight = ChannelPeak(&s_mix.buffer, 1);
        CHECK(Near(fRight, 0.05f), "mixer: the bus's right channel holds %g", fRight);
        const float fLeft = ChannelPeak(&s_mix.buffer, 0);
        const float fExpectedLeft = auRecord[0] == 2 ? 0.15f : 0.15f + 0.25f * 1.2f;
        CHECK(Near(fLeft, fExpectedLeft), "mixer: the bus's left channel holds %g, expected %g",
              fLeft, fExpectedLeft);
        CHECK(aInputs[2].lastInput.uWord == ZvcLayoutFromMask(0x7).uWord &&
                  aInputs[2].lastOutput.uWord == ZvcLayoutFromMask(uBusMask).uWord,
              "mixer: ComputeSpeakerVolumes received the layouts 0x%X and 0x%X",
              (unsigned)aInputs[2].lastInput.uWord, (unsigned)aInputs[2].lastOutput.uWord);
        printf("chost: mixer: %u objects playing, %u voices, %u objects available\n",
               (unsigned)auRecord[0], (unsigned)auRecord[1], (unsigned)auRecord[2]);
        if (auRecord[2] >= 2) {
            CHECK(auRecord[0] == 2, "mixer: %u objects play", (unsigned)auRecord[0]);
            /* Each mono voice plays on its own object at 0.5 of its level. */
            CheckRendered("mixer, dynamic objects", 0x1, 0.4f);
        }
        for (int iInput = 0; iInput < 3; ++iInput) {
            ZVC_ENTRY(InputFn, pMixer, ZVS_IMixerPlugin_DisconnectInput)(pMixer, &aInputs[iInput]);
        }
    }
    EndParameters("attachment", pAttachment, &session.allocator);
    EndSession("mixer", pMixer, pParams, &session);
}

/* ---- The run ---- */

static int Usage(void) {
    fprintf(stderr, "usage: chost [--sink LIBRARY] [--effect LIBRARY] [--mixer LIBRARY]\n");
    return 2;
}

int main(int argc, char** argv) {
    const char* apszLibraries[3] = {NULL, NULL, NULL};
    static const char* const apszOptions[3] = {"--sink", "--effect", "--mixer"};
    for (int iArg = 1; iArg < argc; iArg += 2) {
        int iKind = 0;
        while (iKind < 3 && strcmp(argv[iArg], apszOptions[iKind]) != 0) {
            ++iKind;
        }
        if (iKind == 3 || iArg + 1 >= argc) {
            return Usage();
        }
        apszLibraries[iKind] = argv[iArg + 1];
    }
    if (apszLibraries[0] == NULL && apszLibraries[1] == NULL && apszLibraries[2] == NULL) {
        return Usage();
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    ZvcPlatformStart();
    void (*const apfnRuns[3])(void*) = {RunSink, RunEffect, RunMixer};
    for (int iKind = 0; iKind < 3; ++iKind) {
        if (apszLibraries[iKind] == NULL) {
            continue;
        }
        void* pLibrary = ZvcLoadLibrary(apszLibraries[iKind]);
        CHECK(pLibrary != NULL, "%s does not load", apszLibraries[iKind]);
        if (pLibrary != NULL) {
            printf("chost: %s\n", apszLibraries[iKind]);
            ZvcForgetRendered();
            apfnRuns[iKind](pLibrary);
            ZvcFreeLibrary(pLibrary);
        }
    }
    ZvcPlatformStop();
    printf("chost: %u checks, %u failed\n", g_uChecks, g_uFailures);
    return g_uFailures == 0 ? 0 : 1;
}
