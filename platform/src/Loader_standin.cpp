// LoadLibraryW and its kin over the system loader. A bare "Name.dll" becomes "libName.so", looked
// for in the program's directory, then in the directory set with SetDllDirectoryW, then where the
// system loader looks. A library that registered an entry point is attached after it is loaded
// and detached before its last LoadLibraryW reference is given back.

#include <windows.h>

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "CallScope.h"
#include "ModuleRegistry.h"

using standin::detail::CallScope;

namespace {

std::mutex g_dllDirectoryMutex;
std::string g_dllDirectory;

struct LoaderState {
    // The loader lock: held while a library is loaded and attached, or detached and unloaded, as
    // on Windows. It is recursive because an entry point may load further libraries.
    std::recursive_mutex lock;
    // Attached modules and their LoadLibraryW references; guarded by the lock.
    std::map<HMODULE, unsigned> attached;
};

LoaderState& Loader() {
    static LoaderState* s_pState = new LoaderState();  // never destroyed: used at exit
    return *s_pState;
}

// The stand-in names a module by its loader handle and finds it again from addresses inside it
// (ModuleFromAddress); both must be the library's link map.
void RequireHandleIsLinkMap(void* in_pHandle) {
    struct link_map* pMap = nullptr;
    if (dlinfo(in_pHandle, RTLD_DI_LINKMAP, &pMap) != 0 || pMap != in_pHandle) {
        fprintf(stderr, "standin: the system loader's handles are not link maps\n");
        abort();
    }
}

std::string Narrow(LPCWSTR in_pszWide) {
    std::string narrow;
    for (; *in_pszWide != L'\0'; ++in_pszWide) {
        narrow.push_back(*in_pszWide < 0x80 ? static_cast<char>(*in_pszWide) : '?');
    }
    return narrow;
}

std::string ProgramDirectory() {
    char szPath[PATH_MAX];
    const ssize_t iLength = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (iLength <= 0) {
        return std::string();
    }
    std::string path(szPath, static_cast<size_t>(iLength));
    return path.substr(0, path.find_last_of('/'));
}

// "Dir\Name.dll" or "Name.dll" -> ("Dir", "libName.so"); a name that already ends in ".so" stays.
void MapLibraryName(const std::string& in_windowsName, std::string& out_directory,
                    std::string& out_file) {
    std::string name = in_windowsName;
    for (char& c : name) {
        if (c == '\\')
            c = '/';
    }
    const size_t uSlash = name.find_last_of('/');
    out_directory = uSlash == std::string::npos ? std::string() : name.substr(0, uSlash);
    std::string file = uSlash == std::string::npos ? name : name.substr(uSlash + 1);
    const size_t uDot = file.rfind('.');
    std::string extension = uDot == std::string::npos ? std::string() : file.substr(uDot);
    for (char& c : extension)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (extension == ".so") {
        out_file = file;
        return;
    }
    const std::string stem = (extension == ".dll" || extension.empty()) && uDot != std::string::npos
                                 ? file.substr(0, uDot)
                                 : file;
    out_file = "lib" + stem + ".so";
}

void* TryOpen(const std::string& in_path) {
    return dlopen(in_path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// Attaches a library that LoadLibraryW has just opened, under the loader lock.
HMODULE AttachLoadedModule(void* in_pHandle) {
    RequireHandleIsLinkMap(in_pHandle);
    HMODULE hModule = reinterpret_cast<HMODULE>(in_pHandle);
    auto it = Loader().attached.find(hModule);
    if (it != Loader().attached.end()) {
        ++it->second;
        return hModule;
    }
    standin::ModuleEntryFn pfnEntry = standin::detail::ModuleEntryOf(hModule);
    if (pfnEntry == nullptr) {
        return hModule;
    }
    if (!pfnEntry(hModule, DLL_PROCESS_ATTACH, nullptr)) {
        pfnEntry(hModule, DLL_PROCESS_DETACH, nullptr);
        dlclose(in_pHandle);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    Loader().attached[hModule] = 1;
    return hModule;
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    CallScope scope("LoadLibraryW");
    if (scope.Failed() || lpLibFileName == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string directory;
    std::string file;
    MapLibraryName(Narrow(lpLibFileName), directory, file);

    std::lock_guard<std::recursive_mutex> loaderLock(Loader().lock);
    void* pHandle = nullptr;
    if (!directory.empty()) {
        pHandle = TryOpen(directory + "/" + file);
    } else {
        pHandle = TryOpen(ProgramDirectory() + "/" + file);
        if (pHandle == nullptr) {
            std::lock_guard<std::mutex> lock(g_dllDirectoryMutex);
            if (!g_dllDirectory.empty()) {
                pHandle = TryOpen(g_dllDirectory + "/" + file);
            }
        }
        if (pHandle == nullptr) {
            pHandle = TryOpen(file);
        }
    }
    if (pHandle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return AttachLoadedModule(pHandle);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    CallScope scope("GetProcAddress");
    if (scope.Failed() || hModule == nullptr || lpProcName == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* pSymbol = dlsym(reinterpret_cast<void*>(hModule), lpProcName);
    if (pSymbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return reinterpret_cast<FARPROC>(pSymbol);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    CallScope scope("FreeLibrary");
    if (hLibModule == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> loaderLock(Loader().lock);
    auto it = Loader().attached.find(hLibModule);
    if (it != Loader().attached.end() && --it->second == 0) {
        Loader().attached.erase(it);
        if (standin::ModuleEntryFn pfnEntry = standin::detail::ModuleEntryOf(hLibModule)) {
            pfnEntry(hLibModule, DLL_PROCESS_DETACH, nullptr);
        }
    }
    return dlclose(reinterpret_cast<void*>(hLibModule)) == 0 ? TRUE : FALSE;
}

BOOL WINAPI SetDllDirectoryW(LPCWSTR lpPathName) {
    CallScope scope("SetDllDirectoryW");
    std::lock_guard<std::mutex> lock(g_dllDirectoryMutex);
    g_dllDirectory = lpPathName == nullptr ? std::string() : Narrow(lpPathName);
    return TRUE;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    CallScope scope("GetModuleHandleW");
    if (lpModuleName == nullptr) {
        return reinterpret_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
    }
    std::string directory;
    std::string file;
    MapLibraryName(Narrow(lpModuleName), directory, file);
    void* pHandle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (pHandle != nullptr) {
        dlclose(pHandle);  // GetModuleHandle does not add a reference
    } else {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return reinterpret_cast<HMODULE>(pHandle);
}

}  // extern "C"
