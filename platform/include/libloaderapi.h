// Loading libraries by name and finding their exports.
//
// Off Windows a bare "Name.dll" resolves to the shared library "libName.so", looked for first in
// the directory of the running program (the Windows application directory), then in the directory
// set with SetDllDirectoryW, then where the system loader looks.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
__declspec(dllimport) FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
__declspec(dllimport) BOOL WINAPI FreeLibrary(HMODULE hLibModule);
__declspec(dllimport) BOOL WINAPI SetDllDirectoryW(LPCWSTR lpPathName);
__declspec(dllimport) HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);

#ifdef __cplusplus
}
#endif
