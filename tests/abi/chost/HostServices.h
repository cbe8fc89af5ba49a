/* The C host's side of the contract: the allocator, the contexts, the mixer inputs and the
 * frame-end hooks that the plug-ins call by slot number. Each object starts with its vtable: an
 * array of functions of the platform's member-function convention, with the documented slots at
 * their documented indexes. Every other slot, slot 0 included, ends the program with a message
 * naming the object and the slot: a plug-in must not call it. */
#pragma once

#include <stdatomic.h>
#include <stddef.h>
#include <stdint.h>

#include "EngineAbi.h"

typedef struct ZvcHostObject {
    const ZvcFunction* pVtable;
    const char* pszName;
} ZvcHostObject;

/* Counts what it hands out; every block carries its size in front of it. Plug-ins may allocate
 * from more than one thread. */
typedef struct ZvcAllocator {
    ZvcHostObject object;
    atomic_size_t uLiveBlocks;
    atomic_size_t uLiveBytes;
    atomic_size_t uAllocations;
} ZvcAllocator;

typedef struct ZvcGlobalContext {
    ZvcHostObject object;
    uint16_t uFramesPerBuffer;
    unsigned uMixCalls;
    unsigned uAddCalls;
} ZvcGlobalContext;

/* The context of one plug-in: a sink's, an effect's or a mixer's (they differ in their table). */
typedef struct ZvcPluginContext {
    ZvcHostObject object;
    ZvcGlobalContext* pGlobal;
    uint16_t uBufferCount; /* a sink's GetBufferCount */
    unsigned uMonitorRecords;
    uint32_t uLastRecordSize;
    uint8_t aLastRecord[64];
    unsigned uMessages;
} ZvcPluginContext;

/* One input of a mixer bus, at one position (one ray). */
typedef struct ZvcInputContext {
    ZvcHostObject object;
    void* pAttachment;
    void* pInputData;
    float fDistance;
    float fAzimuth;
    float fElevation;
    /* The layouts that the last ComputeSpeakerVolumes received. */
    ZvcChannelLayout lastInput;
    ZvcChannelLayout lastOutput;
} ZvcInputContext;

/* The calls of one EndFrame, as digits of the slots called: "1234" is the documented order. */
typedef struct ZvcFrameEndHooks {
    ZvcHostObject object;
    char acCalls[16];
    size_t uCalls;
} ZvcFrameEndHooks;

void ZvcInitAllocator(ZvcAllocator* out_pAllocator);
void ZvcInitGlobalContext(ZvcGlobalContext* out_pGlobal, uint16_t in_uFramesPerBuffer);
void ZvcInitSinkContext(ZvcPluginContext* out_pContext, ZvcGlobalContext* in_pGlobal,
                        uint16_t in_uBufferCount);
void ZvcInitEffectContext(ZvcPluginContext* out_pContext, ZvcGlobalContext* in_pGlobal);
void ZvcInitMixerContext(ZvcPluginContext* out_pContext, ZvcGlobalContext* in_pGlobal);
void ZvcInitInputContext(ZvcInputContext* out_pInput, const char* in_pszName, void* in_pAttachment,
                         float in_fDistance, float in_fAzimuth);
void ZvcInitFrameEndHooks(ZvcFrameEndHooks* out_pHooks);
