#include "DesignToolApp.h"

#include "AssertHook.h"
#include "ZvPluginRegistration.h"

namespace ZV {
namespace Orvel {
namespace {

typedef void (*RegisterOrvelPluginFn)(ZvPluginRegistration* in_pList);

}  // namespace

BOOL InitDesignToolApp(CWinApp& io_app) {
    io_app.CWinApp::InitInstance();

    if (g_pZVPluginList == nullptr) {
        ZV_CHECK(
            "DesignToolApp",
            !"g_pZVPluginList is NULL. Did you use the ZV_STATIC_LINK_PLUGIN macro in your DLL?");
        return TRUE;
    }
    HMODULE hEngine = LoadLibraryW(L"OrvelSoundEngine.dll");
    if (hEngine == nullptr) {
        return TRUE;
    }
    FARPROC pfnExport = GetProcAddress(hEngine, "RegisterOrvelPlugin");
    if (pfnExport == nullptr) {
        return TRUE;
    }
    reinterpret_cast<RegisterOrvelPluginFn>(reinterpret_cast<void*>(pfnExport))(g_pZVPluginList);
    return TRUE;
}

}  // namespace Orvel
}  // namespace ZV
