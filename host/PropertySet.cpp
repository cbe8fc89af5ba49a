#include "PropertySet.h"

#include <string.h>

#include <vector>

namespace host {

PropertySet::PropertySet() {
    memset(&m_currentPlatform, 0, sizeof(m_currentPlatform));
}

PropertySet::Key PropertySet::MakeKey(const ZV::Orvel::PlatformKey& in_platform,
                                      const std::wstring& in_name) {
    return Key(std::string(reinterpret_cast<const char*>(&in_platform), sizeof(in_platform)),
               in_name);
}

bool PropertySet::ReadProperty(const ZV::Orvel::PlatformKey& in_platform,
                               const wchar_t* in_pszPropertyName, VARIANT& out_rValue) {
    if (in_pszPropertyName == nullptr) {
        return false;
    }
    return Get(in_platform, in_pszPropertyName, out_rValue);
}

bool PropertySet::WriteProperty(const ZV::Orvel::PlatformKey& in_platform,
                                const wchar_t* in_pszPropertyName, const VARIANT& in_value) {
    if (in_pszPropertyName == nullptr) {
        return false;
    }
    Store(in_platform, in_pszPropertyName, in_value);
    return true;
}

bool PropertySet::ClearProperty(const ZV::Orvel::PlatformKey& in_platform,
                                const wchar_t* in_pszPropertyName) {
    return in_pszPropertyName != nullptr &&
           m_values.erase(MakeKey(in_platform, in_pszPropertyName)) != 0;
}

const ZV::Orvel::PlatformKey* PropertySet::CurrentPlatform(ZV::Orvel::PlatformKey& out_rKey) const {
    out_rKey = m_currentPlatform;
    return &out_rKey;
}

void PropertySet::SetCurrentPlatform(const ZV::Orvel::PlatformKey& in_platform) {
    m_currentPlatform = in_platform;
}

void PropertySet::SetBool(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                          bool in_bValue) {
    VARIANT value;
    memset(&value, 0, sizeof(value));
    value.vt = VT_BOOL;
    value.boolVal = in_bValue ? VARIANT_TRUE : VARIANT_FALSE;
    Store(in_platform, in_name, value);
}

void PropertySet::SetInt32(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                           int32_t in_iValue) {
    VARIANT value;
    memset(&value, 0, sizeof(value));
    value.vt = VT_I4;
    value.lVal = in_iValue;
    Store(in_platform, in_name, value);
}

void PropertySet::SetReal32(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                            float in_fValue) {
    VARIANT value;
    memset(&value, 0, sizeof(value));
    value.vt = VT_R4;
    value.fltVal = in_fValue;
    Store(in_platform, in_name, value);
}

bool PropertySet::Get(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                      VARIANT& out_rValue) const {
    auto it = m_values.find(MakeKey(in_platform, in_name));
    if (it == m_values.end()) {
        return false;
    }
    out_rValue = it->second;
    return true;
}

int PropertySet::AddObserver(ChangeObserver in_observer) {
    const int iId = m_iNextObserver++;
    m_observers[iId] = std::move(in_observer);
    return iId;
}

void PropertySet::RemoveObserver(int in_iId) {
    m_observers.erase(in_iId);
}

void PropertySet::Store(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name,
                        const VARIANT& in_value) {
    m_values[MakeKey(in_platform, in_name)] = in_value;
    ++m_uWriteCount;
    // An observer may remove itself or others while it is told.
    std::vector<ChangeObserver> observers;
    for (const auto& entry : m_observers) {
        observers.push_back(entry.second);
    }
    for (const ChangeObserver& observer : observers) {
        observer(in_platform, in_name);
    }
}

}  // namespace host
