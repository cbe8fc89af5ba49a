// The bed: the twelve static object types that the sink and the effect play on, in the order they
// hand their channels to them (channel or column i plays on entry i). Their streams reserve every
// type of the table, whatever the number of channels in use.
#pragma once

#include <spatialaudioclient.h>

#include <stdint.h>

constexpr uint32_t kBedObjectCount = 12;

constexpr AudioObjectType kBedObjectTypes[kBedObjectCount] = {
    AudioObjectType_FrontLeft,     AudioObjectType_FrontRight,  AudioObjectType_FrontCenter,
    AudioObjectType_LowFrequency,  AudioObjectType_BackLeft,    AudioObjectType_BackRight,
    AudioObjectType_SideLeft,      AudioObjectType_SideRight,   AudioObjectType_TopFrontLeft,
    AudioObjectType_TopFrontRight, AudioObjectType_TopBackLeft, AudioObjectType_TopBackRight,
};

// Every type of the table: what a bed stream reserves.
constexpr uint32_t kBedObjectMask = 0x1FFE;

constexpr uint32_t BedObjectMaskOf(const AudioObjectType (&in_aTypes)[kBedObjectCount]) {
    uint32_t uMask = 0;
    for (AudioObjectType eType : in_aTypes) {
        uMask |= static_cast<uint32_t>(eType);
    }
    return uMask;
}
static_assert(BedObjectMaskOf(kBedObjectTypes) == kBedObjectMask, "the mask names the table");
