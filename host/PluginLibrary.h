// Opens a plug-in library the way the host engine does: by its Windows name with LoadLibraryW
// ("ZvSpatialSink.dll"), then reads its exported registration list head g_pZVPluginList with
// GetProcAddress and looks plug-ins up by company id and plug-in id.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>

#include "ZvPluginRegistration.h"

namespace host {

class PluginLibrary {
public:
    PluginLibrary() = default;
    // Unloads the library: the records it handed out are gone with it.
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads in_pszName and finds its list head. False, with Error() saying why, when the library
    // cannot be loaded or does not export g_pZVPluginList; a library loaded before is unloaded.
    bool Load(const wchar_t* in_pszName);
    void Unload();

    bool IsLoaded() const { return m_hModule != nullptr; }
    const std::string& Error() const { return m_error; }

    // The list head as the library exports it (null for a library without records).
    const ZvPluginRegistration* Head() const;
    // The record of (company, plug-in) in this library's list, or null.
    const ZvPluginRegistration* Find(uint32_t in_uCompanyId, uint32_t in_uPluginId) const;

    // The same look-up in any list, from its head.
    static const ZvPluginRegistration* Find(const ZvPluginRegistration* in_pHead,
                                            uint32_t in_uCompanyId, uint32_t in_uPluginId);

private:
    HMODULE m_hModule = nullptr;
    ZvPluginRegistration* const* m_ppHead = nullptr;  // the library's g_pZVPluginList
    std::string m_error;
};

}  // namespace host
