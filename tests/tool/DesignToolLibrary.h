// A design-tool library loaded for a test, as the design tool loads it, with its exports.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include "DesignToolExports.h"
#include "ZvPluginRegistration.h"

namespace tool_tests {

class DesignToolLibrary {
public:
    explicit DesignToolLibrary(const wchar_t* in_pszName) : m_hModule(LoadLibraryW(in_pszName)) {}
    ~DesignToolLibrary() {
        if (m_hModule != nullptr) {
            FreeLibrary(m_hModule);
        }
    }
    DesignToolLibrary(const DesignToolLibrary&) = delete;
    DesignToolLibrary& operator=(const DesignToolLibrary&) = delete;

    HMODULE Module() const { return m_hModule; }

    template <typename Function>
    Function Export(const char* in_pszName) const {
        return reinterpret_cast<Function>(
            reinterpret_cast<void*>(GetProcAddress(m_hModule, in_pszName)));
    }

    ZvCreatePluginExport CreatePlugin() const {
        return Export<ZvCreatePluginExport>("ZvCreatePlugin");
    }
    ZvGetSoundEngineCallbacksExport GetSoundEngineCallbacks() const {
        return Export<ZvGetSoundEngineCallbacksExport>("ZvGetSoundEngineCallbacks");
    }
    // The library's registration list as the host reads it through the exported head.
    ZvPluginRegistration* ListHead() const {
        void* pHead = reinterpret_cast<void*>(GetProcAddress(m_hModule, "g_pZVPluginList"));
        return pHead == nullptr ? nullptr : *static_cast<ZvPluginRegistration**>(pHead);
    }

private:
    HMODULE m_hModule;
};

}  // namespace tool_tests
