// LoadLibraryW and its kin over the system loader. A bare "Name.dll" becomes "libName.so", looked
// for in the program's directory, then in the directory set with SetDllDirectoryW, then where the
// system loader looks.

#include <windows.h>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "CallScope.h"

using standin::detail::CallScope;

namespace {

std::mutex g_dllDirectoryMutex;
std::string g_dllDirectory;

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
    }
    return reinterpret_cast<HMODULE>(pHandle);
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
    return hLibModule != nullptr && dlclose(reinterpret_cast<void*>(hLibModule)) == 0 ? TRUE
                                                                                      : FALSE;
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
