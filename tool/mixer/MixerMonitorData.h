// The record that the engine-side mixer posts once per audio frame for its design-tool object:
// three 32-bit integers, little-endian. The engine side writes unsigned counts; the design tool
// reads them as signed values.
#pragma once

#include <stdint.h>

struct MixerMonitorData {
    int32_t iPlayingObjects;       // dynamic objects that received an input in the frame
    int32_t iTotalVoices;          // inputs the mixer consumed in the frame
    int32_t iMaxAvailableObjects;  // the endpoint's dynamic-object maximum (at most 32), or 0

    static constexpr uint32_t kSize = 12;

    // Reads the first kSize bytes of in_pData.
    static MixerMonitorData Decode(const void* in_pData) {
        const uint8_t* pBytes = static_cast<const uint8_t*>(in_pData);
        MixerMonitorData record;
        record.iPlayingObjects = ReadInt32(pBytes);
        record.iTotalVoices = ReadInt32(pBytes + 4);
        record.iMaxAvailableObjects = ReadInt32(pBytes + 8);
        return record;
    }

private:
    static int32_t ReadInt32(const uint8_t* in_pBytes) {
        const uint32_t uValue = uint32_t{in_pBytes[0]} | (uint32_t{in_pBytes[1]} << 8) |
                                (uint32_t{in_pBytes[2]} << 16) | (uint32_t{in_pBytes[3]} << 24);
        return static_cast<int32_t>(uValue);
    }
};
