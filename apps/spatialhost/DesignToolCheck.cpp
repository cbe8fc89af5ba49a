#include "DesignToolCheck.h"

#include <windows.h>

#include "DesignToolExports.h"
#include "DialogResource.h"
#include "IAudioPlugin.h"
#include "OrvelSoundEngine.h"
#include "ZvPluginRegistration.h"
#include "ZvResult.h"

namespace spatialhost {

int CheckDesignToolLibrary(const wchar_t* in_pszLibrary, bool in_bEngineBeside,
                           std::FILE* out_pLog) {
    bool bGood = true;
    auto Check = [&](bool in_bHolds, const char* in_pszWhat) {
        std::fprintf(out_pLog, "%s: %s\n", in_pszWhat, in_bHolds ? "yes" : "NO");
        bGood = bGood && in_bHolds;
    };

    HMODULE hLibrary = LoadLibraryW(in_pszLibrary);
    Check(hLibrary != nullptr, "the library loads");
    if (hLibrary == nullptr) {
        return 1;
    }
    auto ppHead = reinterpret_cast<ZvPluginRegistration* const*>(
        reinterpret_cast<void*>(GetProcAddress(hLibrary, "g_pZVPluginList")));
    Check(ppHead != nullptr, "it exports g_pZVPluginList");
    const ZvPluginRegistration* pHead = ppHead != nullptr ? *ppHead : nullptr;
    uint32_t uRecords = 0;
    for (const ZvPluginRegistration* pRecord = pHead; pRecord != nullptr && uRecords < 16;
         pRecord = pRecord->pNext) {
        std::fprintf(out_pLog, "record: kind %u, company %u, plug-in %u\n", pRecord->eType,
                     pRecord->uCompanyId, pRecord->uPluginId);
        ++uRecords;
    }

    // The engine library, if it was found, is already loaded: the library's InitInstance loaded it.
    HMODULE hEngine = GetModuleHandleW(L"OrvelSoundEngine.dll");
    if (!in_bEngineBeside || pHead == nullptr) {
        Check(hEngine == nullptr, "no engine library was loaded");
    } else {
        Check(hEngine != nullptr, "the engine library was loaded");
        auto pfnLast = reinterpret_cast<LastReceivedPluginListFn>(
            reinterpret_cast<void*>(GetProcAddress(hEngine, "LastReceivedPluginList")));
        uint32_t uLists = 0;
        const ZvPluginRegistration* pReceived = pfnLast != nullptr ? pfnLast(&uLists) : nullptr;
        Check(uLists == 1 && pReceived == pHead,
              "RegisterOrvelPlugin received the library's list head, once");
    }

    auto pfnCreate = reinterpret_cast<ZvCreatePluginExport>(
        reinterpret_cast<void*>(GetProcAddress(hLibrary, "ZvCreatePlugin")));
    Check(pfnCreate != nullptr, "it exports ZvCreatePlugin");
    if (pfnCreate != nullptr) {
        // The mixer's pair; the sink's and the effect's libraries do not look at the ids.
        ZV::Orvel::IAudioPlugin* pPlugin =
            pfnCreate(static_cast<uint16_t>(kZvCompanyId), static_cast<uint16_t>(kZvMixerPluginId));
        Check(pPlugin != nullptr, "ZvCreatePlugin makes an object");
        if (pPlugin != nullptr) {
            uint32_t uDialog = 0;
            const ZV::Orvel::PropertyControlBinding* pTable = nullptr;
            if (pPlugin->DescribeDialog(ZV::Orvel::SettingsDialog, uDialog, pTable)) {
                HINSTANCE hResources = pPlugin->GetResourceModule();
                Check(hResources == hLibrary, "GetResourceModule names the library");
                Check(HasDialogResource(hResources, uDialog),
                      "its dialog resource is in that module");
                std::fprintf(out_pLog, "dialog: %u\n", uDialog);
            } else {
                std::fprintf(out_pLog, "dialog: none\n");
            }
            pPlugin->DestroyPlugin();
        }
    }
    FreeLibrary(hLibrary);
    return bGood ? 0 : 1;
}

}  // namespace spatialhost
