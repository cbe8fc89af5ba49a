// The framework's part in a module, for the MinGW-w64 build: the module's own state and its
// DllMain. The C runtime of a DLL calls DllMain after the module's static initialisation, so the
// application object (a static object) exists by then; its InitInstance runs within the module's
// state, and a FALSE result makes LoadLibrary fail.

#include <afxwin.h>

// The linker's symbol at the start of the module's image: its HMODULE, known before attach.
extern "C" IMAGE_DOS_HEADER __ImageBase;

AFX_MODULE_STATE* AFXAPI AfxGetStaticModuleState() {
    // Made on first use: the application object's constructor may come before other statics.
    static AFX_MODULE_STATE s_state = {nullptr, reinterpret_cast<HINSTANCE>(&__ImageBase),
                                       reinterpret_cast<HINSTANCE>(&__ImageBase)};
    return &s_state;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE in_hInstance, DWORD in_dwReason, LPVOID) {
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
