// How the mixer's parameter objects read a value handed to SetParameter. The value may sit at any
// address, so it is copied out rather than dereferenced in place.
#pragma once

#include <stdint.h>
#include <string.h>

// A 32-bit float flag: true for any value other than 0.0. -0.0 and NaN both mean false (NaN
// compares neither below nor above 0).
inline bool ReadFloatFlag(const void* in_pValue) {
    float fValue;
    memcpy(&fValue, in_pValue, sizeof(fValue));
    return fValue < 0.0f || fValue > 0.0f;
}

inline int32_t ReadInt32(const void* in_pValue) {
    int32_t iValue;
    memcpy(&iValue, in_pValue, sizeof(iValue));
    return iValue;
}
