// The design-tool host's property set: one VARIANT per platform key and property name, the
// platform being edited, and observers told of every change (the dialog host refreshes its bound
// controls through them). Used on the user-interface thread only.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "ZvDesignToolHost.h"

namespace host {

class PropertySet final : public ZV::Orvel::IPropertySet {
public:
    typedef std::function<void(const ZV::Orvel::PlatformKey& in_platform,
                               const std::wstring& in_name)>
        ChangeObserver;

    PropertySet();

    // Copies the stored value into out_rValue; false, and out_rValue untouched, when the
    // property has no value for the platform.
    bool ReadProperty(const ZV::Orvel::PlatformKey& in_platform, const wchar_t* in_pszPropertyName,
                      VARIANT& out_rValue) override;
    bool WriteProperty(const ZV::Orvel::PlatformKey& in_platform, const wchar_t* in_pszPropertyName,
                       const VARIANT& in_value) override;
    bool ClearProperty(const ZV::Orvel::PlatformKey& in_platform,
                       const wchar_t* in_pszPropertyName) override;
    const ZV::Orvel::PlatformKey* CurrentPlatform(ZV::Orvel::PlatformKey& out_rKey) const override;

    void SetCurrentPlatform(const ZV::Orvel::PlatformKey& in_platform);
    const ZV::Orvel::PlatformKey& CurrentPlatformKey() const { return m_currentPlatform; }

    // Typed writes, as the design tool stores its properties (VT_BOOL, VT_I4, VT_R4).
    void SetBool(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                 bool in_bValue);
    void SetInt32(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                  int32_t in_iValue);
    void SetReal32(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                   float in_fValue);
    // The stored value, or false.
    bool Get(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
             VARIANT& out_rValue) const;

    // Returns an id for RemoveObserver.
    int AddObserver(ChangeObserver in_observer);
    void RemoveObserver(int in_iId);

    // WriteProperty calls so far (the typed writes included).
    uint32_t WriteCount() const { return m_uWriteCount; }

private:
    typedef std::pair<std::string, std::wstring> Key;  // platform bytes, property name
    static Key MakeKey(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name);
    void Store(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
               const VARIANT& in_value);

    std::map<Key, VARIANT> m_values;
    ZV::Orvel::PlatformKey m_currentPlatform;
    std::map<int, ChangeObserver> m_observers;
    int m_iNextObserver = 1;
    uint32_t m_uWriteCount = 0;
};

}  // namespace host
