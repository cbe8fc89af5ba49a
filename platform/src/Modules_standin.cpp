// The registry of module entry points and resource scripts, keyed by HMODULE.

#include <windows.h>

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ModuleRegistry.h"

namespace standin {
namespace {

struct ModuleRecord {
    ModuleEntryFn pfnEntry = nullptr;
    const char* pScript = nullptr;
    size_t uScriptSize = 0;
    // Read on first use; reset when the script is registered again.
    bool bScriptRead = false;
    bool bScriptValid = false;
    ResourceScript script;
};

struct Registry {
    std::mutex mutex;
    std::map<HMODULE, ModuleRecord> modules;
};

Registry& Modules() {
    static Registry* s_pRegistry = new Registry();  // never destroyed: used at exit
    return *s_pRegistry;
}

HMODULE RequireModule(const void* in_pAnchor) {
    HMODULE hModule = ModuleFromAddress(in_pAnchor);
    if (hModule == nullptr) {
        fprintf(stderr, "standin: a module registration from %p, which lies in no module\n",
                in_pAnchor);
    }
    return hModule;
}

void DropIfEmpty(Registry& io_registry, HMODULE in_hModule) {
    auto it = io_registry.modules.find(in_hModule);
    if (it != io_registry.modules.end() && it->second.pfnEntry == nullptr &&
        it->second.pScript == nullptr) {
        io_registry.modules.erase(it);
    }
}

bool NameMatches(const DialogTemplate& in_template, LPCWSTR in_pszName) {
    if (IS_INTRESOURCE(in_pszName)) {
        return in_template.bNumericName &&
               in_template.uId == static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(in_pszName));
    }
    if (in_template.bNumericName) {
        return false;
    }
    const std::wstring wanted(in_pszName);
    if (wanted.size() != in_template.name.size()) {
        return false;
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (towupper(wanted[i]) != towupper(in_template.name[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

// With the GNU loader, the handle that dlopen returns is the library's link map, which dladdr1
// also gives for an address inside it. LoadLibraryW checks that this holds.
HMODULE ModuleFromAddress(const void* in_pAddress) {
    Dl_info info;
    struct link_map* pMap = nullptr;
    if (dladdr1(in_pAddress, &info, reinterpret_cast<void**>(&pMap), RTLD_DL_LINKMAP) == 0) {
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(pMap);
}

void RegisterModuleEntry(const void* in_pAnchor, ModuleEntryFn in_pfnEntry) {
    HMODULE hModule = RequireModule(in_pAnchor);
    if (hModule == nullptr) {
        return;
    }
    Registry& registry = Modules();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.modules[hModule].pfnEntry = in_pfnEntry;
}

void UnregisterModuleEntry(const void* in_pAnchor) {
    HMODULE hModule = ModuleFromAddress(in_pAnchor);
    Registry& registry = Modules();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.modules.find(hModule);
    if (it != registry.modules.end()) {
        it->second.pfnEntry = nullptr;
        DropIfEmpty(registry, hModule);
    }
}

void RegisterModuleResources(const void* in_pAnchor, const char* in_pScript, size_t in_uSize) {
    HMODULE hModule = RequireModule(in_pAnchor);
    if (hModule == nullptr) {
        return;
    }
    Registry& registry = Modules();
    std::lock_guard<std::mutex> lock(registry.mutex);
    ModuleRecord& record = registry.modules[hModule];
    record.pScript = in_pScript;
    record.uScriptSize = in_uSize;
    record.bScriptRead = false;
    record.bScriptValid = false;
    record.script = ResourceScript();
}

void UnregisterModuleResources(const void* in_pAnchor) {
    HMODULE hModule = ModuleFromAddress(in_pAnchor);
    Registry& registry = Modules();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.modules.find(hModule);
    if (it != registry.modules.end()) {
        it->second.pScript = nullptr;
        it->second.uScriptSize = 0;
        it->second.bScriptRead = false;
        it->second.script = ResourceScript();
        DropIfEmpty(registry, hModule);
    }
}

namespace detail {

ModuleEntryFn ModuleEntryOf(HMODULE in_hModule) {
    Registry& registry = Modules();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.modules.find(in_hModule);
    return it == registry.modules.end() ? nullptr : it->second.pfnEntry;
}

bool FindDialogTemplate(HMODULE in_hModule, LPCWSTR in_pszName, DialogTemplate& out_rTemplate,
                        DWORD& out_rdwError) {
    Registry& registry = Modules();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.modules.find(in_hModule);
    if (it == registry.modules.end() || it->second.pScript == nullptr) {
        out_rdwError = ERROR_RESOURCE_TYPE_NOT_FOUND;
        return false;
    }
    ModuleRecord& record = it->second;
    if (!record.bScriptRead) {
        std::string error;
        record.bScriptValid = ParseResourceScript(std::string(record.pScript, record.uScriptSize),
                                                  record.script, error);
        record.bScriptRead = true;
        if (!record.bScriptValid) {
            fprintf(stderr, "standin: the resource script of module %p cannot be read: %s\n",
                    static_cast<void*>(in_hModule), error.c_str());
        }
    }
    if (!record.bScriptValid) {
        out_rdwError = ERROR_RESOURCE_DATA_NOT_FOUND;
        return false;
    }
    for (const DialogTemplate& dialog : record.script.dialogs) {
        if (NameMatches(dialog, in_pszName)) {
            out_rTemplate = dialog;
            return true;
        }
    }
    out_rdwError = ERROR_RESOURCE_NAME_NOT_FOUND;
    return false;
}

}  // namespace detail
}  // namespace standin
