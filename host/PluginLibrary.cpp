#include "PluginLibrary.h"

namespace host {

PluginLibrary::~PluginLibrary() {
    Unload();
}

bool PluginLibrary::Load(const wchar_t* in_pszName) {
    Unload();
    m_error.clear();
    m_hModule = LoadLibraryW(in_pszName);
    if (m_hModule == nullptr) {
        m_error = "LoadLibraryW failed with error " + std::to_string(GetLastError());
        return false;
    }
    // g_pZVPluginList is a data export: GetProcAddress gives the address of the head pointer.
    const FARPROC pfnExport = GetProcAddress(m_hModule, "g_pZVPluginList");
    if (pfnExport == nullptr) {
        m_error = "the library does not export g_pZVPluginList";
        Unload();
        return false;
    }
    m_ppHead = reinterpret_cast<ZvPluginRegistration* const*>(reinterpret_cast<void*>(pfnExport));
    return true;
}

void PluginLibrary::Unload() {
    if (m_hModule != nullptr) {
        FreeLibrary(m_hModule);
    }
    m_hModule = nullptr;
    m_ppHead = nullptr;
}

const ZvPluginRegistration* PluginLibrary::Head() const {
    return m_ppHead != nullptr ? *m_ppHead : nullptr;
}

const ZvPluginRegistration* PluginLibrary::Find(uint32_t in_uCompanyId,
                                                uint32_t in_uPluginId) const {
    return Find(Head(), in_uCompanyId, in_uPluginId);
}

const ZvPluginRegistration* PluginLibrary::Find(const ZvPluginRegistration* in_pHead,
                                                uint32_t in_uCompanyId, uint32_t in_uPluginId) {
    for (const ZvPluginRegistration* pRecord = in_pHead; pRecord != nullptr;
         pRecord = pRecord->pNext) {
        if (pRecord->uCompanyId == in_uCompanyId && pRecord->uPluginId == in_uPluginId) {
            return pRecord;
        }
    }
    return nullptr;
}

}  // namespace host
