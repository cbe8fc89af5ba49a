// The framework's part in each module: the module's own state and its entry point, which the
// loader calls when LoadLibraryW loads the module (see standin/ModuleHooks.h).
//
// This file is compiled into every module that uses the framework; nothing of it is exported.
// The application object's constructor calls AfxGetStaticModuleState, which keeps this file in
// every module that has one.

#include <afxwin.h>

#include "standin/ModuleHooks.h"

namespace {

// An address inside this module's static data, by which the module finds itself.
char g_cModuleAnchor;

BOOL WINAPI ModuleEntry(HINSTANCE in_hInstance, DWORD in_dwReason, LPVOID) {
    AFX_MODULE_STATE* pState = AfxGetStaticModuleState();
    AFX_MANAGE_STATE(pState);
    CWinApp* pApp = pState->m_pCurrentWinApp;
    if (in_dwReason == DLL_PROCESS_ATTACH) {
        pState->m_hCurrentInstanceHandle = in_hInstance;
        pState->m_hCurrentResourceHandle = in_hInstance;
        if (pApp == nullptr) {
            return TRUE;
        }
        pApp->m_hInstance = in_hInstance;
        return pApp->InitInstance();
    }
    if (in_dwReason == DLL_PROCESS_DETACH && pApp != nullptr) {
        pApp->ExitInstance();
    }
    return TRUE;
}

class EntryRegistration {
public:
    EntryRegistration() { standin::RegisterModuleEntry(&g_cModuleAnchor, &ModuleEntry); }
    ~EntryRegistration() { standin::UnregisterModuleEntry(&g_cModuleAnchor); }
    EntryRegistration(const EntryRegistration&) = delete;
    EntryRegistration& operator=(const EntryRegistration&) = delete;
};

EntryRegistration g_entryRegistration;

}  // namespace

AFX_MODULE_STATE* AFXAPI AfxGetStaticModuleState() {
    // Made on first use (the application object's constructor may come before this file's static
    // objects); the module's handle is known from the start, before the loader attaches it.
    static AFX_MODULE_STATE s_state = {nullptr, standin::ModuleFromAddress(&g_cModuleAnchor),
                                       standin::ModuleFromAddress(&g_cModuleAnchor)};
    return &s_state;
}
