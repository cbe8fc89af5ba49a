// Loading libraries by name and finding their exports.
//
// Off Windows a bare "Name.dll" resolves to the shared library "libName.so", looked for first in
// the directory of the running program (the Windows application directory), then in the directory
// set with SetDllDirectoryW, then where the system loader looks.
//
// A module's HMODULE is the system loader's handle of the library. When LoadLibraryW loads a
// library that registered an entry point during its static initialisation (as the application
// framework's part in each DLL does, see standin/ModuleHooks.h), it calls the entry point with
// DLL_PROCESS_ATTACH after that initialisation; FALSE makes the load fail with
// ERROR_DLL_INIT_FAILED. FreeLibrary of the last LoadLibraryW reference calls it with
// DLL_PROCESS_DETACH before unloading.
#pragma once

#include "windef.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1

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
