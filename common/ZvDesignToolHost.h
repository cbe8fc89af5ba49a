// The services the design tool offers to its plug-in objects: per-platform property storage and
// the writer of a plug-in's parameter block into a sound bank. Slot orders are fixed; slots the
// plug-ins never call are kept for the design tool's own use. Called on the design tool's
// user-interface thread.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <stdint.h>

namespace ZV {
namespace Orvel {

// A platform key names the platform whose property values are read or written.
typedef GUID PlatformKey;

class IPropertySet {
public:
    // Fills out_rValue: booleans as VT_BOOL (boolVal), integers as VT_I4 (lVal), floats as VT_R4
    // (fltVal). The result is the design tool's and is not tested by the plug-ins.
    virtual bool ReadProperty(const PlatformKey& in_platform, const wchar_t* in_pszPropertyName,
                              VARIANT& out_rValue) = 0;  // 0
    virtual bool WriteProperty(const PlatformKey& in_platform, const wchar_t* in_pszPropertyName,
                               const VARIANT& in_value) = 0;  // 1
    virtual bool ClearProperty(const PlatformKey& in_platform,
                               const wchar_t* in_pszPropertyName) = 0;  // 2
    // Returns a pointer to out_rKey, which holds the key of the platform being edited.
    virtual const PlatformKey* CurrentPlatform(PlatformKey& out_rKey) const = 0;  // 3
};

// Appends values to a plug-in's parameter block, little-endian and unaligned.
class IBankWriter {
public:
    virtual bool WriteBytes(const void* in_pData, uint32_t in_uSize) = 0;  // 0
    virtual uint32_t GetPosition() const = 0;                              // 1
    virtual bool PutString(const char* in_pszValue) = 0;                   // 2
    virtual bool PutWideString(const wchar_t* in_pszValue) = 0;            // 3
    virtual bool PutBool(bool in_bValue) = 0;                              // 4: 1 byte
    virtual bool PutInt8(int8_t in_iValue) = 0;                            // 5
    virtual bool PutInt16(int16_t in_iValue) = 0;                          // 6
    virtual bool PutInt32(int32_t in_iValue) = 0;                          // 7: 4 bytes
    virtual bool PutUInt32(uint32_t in_uValue) = 0;                        // 8
    virtual bool PutReal32(float in_fValue) = 0;                           // 9: 4 bytes
    virtual bool PutReal64(double in_fValue) = 0;                          // 10
};

}  // namespace Orvel
}  // namespace ZV
