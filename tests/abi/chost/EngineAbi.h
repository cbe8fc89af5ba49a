/* The engine's binary contract as a host written in C sees it: the records that cross, the
 * registration record, and calls by slot number. Nothing here comes from the plug-ins' C++
 * headers; the slot numbers are those of the documented table (DocumentedSlots.h), the records
 * are laid out as the engine documents them, and every call goes through a vtable entry cast to
 * the documented signature with the platform's member-function convention (ZV_THISCALL). */
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "DocumentedSlots.h"
#include "ZvCallingConvention.h"

/* ZVS_<interface>_<name>: the documented slot. */
#define ZVC_SLOT_CONSTANT(in_interface, in_name, in_slot) ZVS_##in_interface##_##in_name = in_slot,
enum { ZV_ENGINE_SLOTS(ZVC_SLOT_CONSTANT) };
#undef ZVC_SLOT_CONSTANT

/* A vtable entry, of no particular type until it is cast to its slot's signature. */
typedef void (*ZvcFunction)(void);

/* The entry in_slot of the object in_pObject, cast to the function pointer type in_type. */
#define ZVC_ENTRY(in_type, in_pObject, in_slot) \
    ((in_type)((*(const ZvcFunction* const*)(in_pObject))[in_slot]))

enum {
    ZVC_Success = 1,
    ZVC_BadParameter = 31,
    ZVC_UnsupportedOperation = 45,
    ZVC_CompanyId = 275,
    ZVC_SinkId = 170,
    ZVC_EffectId = 270,
    ZVC_MixerId = 799,
    ZVC_MixerAttachmentId = 798,
    ZVC_BuildVersion = 0x7E002
};

/* The channel configuration: bits 0-7 channels, 8-11 type (1 standard), 12-31 speaker mask. It
 * crosses by value as this one-word record. */
typedef struct ZvcChannelLayout {
    uint32_t uWord;
} ZvcChannelLayout;

ZvcChannelLayout ZvcLayoutFromMask(uint32_t in_uMask);
uint32_t ZvcLayoutChannels(ZvcChannelLayout in_layout);

/* Planar float samples: channel k at pData + k * uMaxFrames. */
typedef struct ZvcSampleBuffer {
    float* pData;
    ZvcChannelLayout channelConfig;
    uint32_t eState;
    uint16_t uMaxFrames;
    uint16_t uValidFrames;
} ZvcSampleBuffer;

/* Two gains, crossing by value. */
typedef struct ZvcVolumeRamp {
    float fPrev;
    float fNext;
} ZvcVolumeRamp;

typedef struct ZvcPluginInfo {
    uint32_t eType;
    uint32_t uBuildVersion;
    uint8_t abFlags[4];
} ZvcPluginInfo;

typedef struct ZvcAudioFormat {
    uint32_t uSampleRate;
    ZvcChannelLayout channelConfig;
} ZvcAudioFormat;

typedef struct ZvcSpeakerVolumeMatrix {
    float* pVolumes; /* uNumInputs rows of ((uNumOutputs + 3) & ~3) floats */
    uint32_t uNumInputs;
    uint32_t uNumOutputs;
} ZvcSpeakerVolumeMatrix;

typedef struct ZvcEmitterRay {
    float fDistance;
    float fAzimuth;
    float fElevation;
    uint8_t aHostPrivate[36];
    uint32_t uListenerId;
    float afRest[3];
    uint32_t uEmitterChannelMask;
    uint8_t uPositionIndex;
} ZvcEmitterRay;

/* The registration record and the factories it carries (plain functions of the platform's default
 * convention). */
typedef void* (*ZvcFactory)(void* in_pAllocator);
typedef struct ZvcRegistration {
    struct ZvcRegistration* pNext;
    uint32_t eType;
    uint32_t uCompanyId;
    uint32_t uPluginId;
    ZvcFactory pCreatePlugin;
    ZvcFactory pCreateParam;
    void* pReserved1;
    void* pReserved2;
    uintptr_t uExtra1;
    uintptr_t uExtra2;
} ZvcRegistration;

_Static_assert(sizeof(ZvcSampleBuffer) == (sizeof(void*) == 8 ? 24 : 16), "host buffer");
_Static_assert(sizeof(ZvcPluginInfo) == 12, "plug-in information");
_Static_assert(sizeof(ZvcAudioFormat) == 8, "format record");
_Static_assert(sizeof(ZvcEmitterRay) == 72, "ray record");
_Static_assert(sizeof(ZvcRegistration) == (sizeof(void*) == 8 ? 72 : 40), "registration record");
