// Reads design-tool properties through a variant that holds zero before every read, so that a
// property the property set cannot give reads as the type's zero and never as left-over or
// uninitialised bytes.
#pragma once

#include <oleauto.h>
#include <string.h>

#include "ZvDesignToolHost.h"

namespace ZV {
namespace Orvel {

class PropertyReader {
public:
    PropertyReader(IPropertySet* in_pPropertySet, const PlatformKey& in_platform)
        : m_pPropertySet(in_pPropertySet), m_platform(in_platform) {
        Zero();
    }
    ~PropertyReader() { VariantClear(&m_value); }
    PropertyReader(const PropertyReader&) = delete;
    PropertyReader& operator=(const PropertyReader&) = delete;

    // The variant after reading in_pszName (all zero when it could not be read).
    VARIANT& Read(const wchar_t* in_pszName) {
        VariantClear(&m_value);
        Zero();
        if (m_pPropertySet != nullptr) {
            m_pPropertySet->ReadProperty(m_platform, in_pszName, m_value);
        }
        return m_value;
    }

    bool ReadBool(const wchar_t* in_pszName) { return Read(in_pszName).boolVal != 0; }
    int32_t ReadInt32(const wchar_t* in_pszName) { return Read(in_pszName).lVal; }
    float ReadReal32(const wchar_t* in_pszName) { return Read(in_pszName).fltVal; }

private:
    void Zero() { memset(&m_value, 0, sizeof(m_value)); }

    IPropertySet* m_pPropertySet;
    PlatformKey m_platform;
    VARIANT m_value;
};

}  // namespace Orvel
}  // namespace ZV
