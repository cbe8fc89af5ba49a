// The services the design tool offers to its plug-in objects: per-platform property storage and
// the writer of a plug-in's parameter block into a sound bank. Slot orders are fixed; slots the
// plug-ins never call are kept for the design tool's own use. Called on the design tool's
// user-interface thread.
//
// The design tool calls by vtable index and is built by the platform's own compiler. These
// interfaces have no destructor slot (a virtual destructor would take one entry under its ABI and
// two under MinGW-w64's), return no class by value and have no overloaded virtual functions, so
// their slot numbers are the same vtable indexes in every build; every virtual function is
// ZV_THISCALL, the platform's member-function convention on 32-bit x86. tests/abi checks the
// indexes against the compilers' own layout dumps.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <stdint.h>

#include "ZvCallingConvention.h"

namespace ZV {
namespace Orvel {

// A platform key names the platform whose property values are read or written.
typedef GUID PlatformKey;

class IPropertySet {
public:
    // Fills out_rValue: booleans as VT_BOOL (boolVal), integers as VT_I4 (lVal), floats as VT_R4
    // (fltVal). The result is the design tool's and is not tested by the plug-ins.
    virtual bool ZV_THISCALL ReadProperty(const PlatformKey& in_platform,
                                          const wchar_t* in_pszPropertyName,
                                          VARIANT& out_rValue) = 0;  // 0
    virtual bool ZV_THISCALL WriteProperty(const PlatformKey& in_platform,
                                           const wchar_t* in_pszPropertyName,
                                           const VARIANT& in_value) = 0;  // 1
    virtual bool ZV_THISCALL ClearProperty(const PlatformKey& in_platform,
                                           const wchar_t* in_pszPropertyName) = 0;  // 2
    // Returns a pointer to out_rKey, which holds the key of the platform being edited.
    virtual const PlatformKey* ZV_THISCALL CurrentPlatform(PlatformKey& out_rKey) const = 0;  // 3

protected:
    ~IPropertySet() = default;
};

// Appends values to a plug-in's parameter block, little-endian and unaligned.
class IBankWriter {
public:
    virtual bool ZV_THISCALL WriteBytes(const void* in_pData, uint32_t in_uSize) = 0;  // 0
    virtual uint32_t ZV_THISCALL GetPosition() const = 0;                              // 1
    virtual bool ZV_THISCALL PutString(const char* in_pszValue) = 0;                   // 2
    virtual bool ZV_THISCALL PutWideString(const wchar_t* in_pszValue) = 0;            // 3
    virtual bool ZV_THISCALL PutBool(bool in_bValue) = 0;                              // 4: 1 byte
    virtual bool ZV_THISCALL PutInt8(int8_t in_iValue) = 0;                            // 5
    virtual bool ZV_THISCALL PutInt16(int16_t in_iValue) = 0;                          // 6
    virtual bool ZV_THISCALL PutInt32(int32_t in_iValue) = 0;                          // 7: 4 bytes
    virtual bool ZV_THISCALL PutUInt32(uint32_t in_uValue) = 0;                        // 8
    virtual bool ZV_THISCALL PutReal32(float in_fValue) = 0;                           // 9: 4 bytes
    virtual bool ZV_THISCALL PutReal64(double in_fValue) = 0;                          // 10

protected:
    ~IBankWriter() = default;
};

}  // namespace Orvel
}  // namespace ZV
