// What the stand-in builds into a module of its own accord: the application framework's part in
// each DLL registers the module's entry point, and the resource embedding (zv_add_resources)
// registers the module's resource script. Both run during the module's static initialisation and
// unregister during its static destruction. Not part of the Windows API.
//
// A module is named by the HMODULE that LoadLibraryW returns for it (the system loader's handle);
// code inside a module finds its own with ModuleFromAddress. The executable is a module too
// (GetModuleHandleW(NULL)).
#pragma once

#include <windows.h>

#include <cstddef>

namespace standin {

typedef BOOL(WINAPI* ModuleEntryFn)(HINSTANCE in_hInstance, DWORD in_dwReason, LPVOID in_pReserved);

// The module that holds in_pAddress (code or static data), or null for an address in no module
// (the stack, the heap).
HMODULE ModuleFromAddress(const void* in_pAddress);

// in_pAnchor is any address in the registering module's static data.
void RegisterModuleEntry(const void* in_pAnchor, ModuleEntryFn in_pfnEntry);
void UnregisterModuleEntry(const void* in_pAnchor);

// in_pScript holds in_uSize bytes of resource-script text (the .rc language, its quoted includes
// already in place); it must stay valid until UnregisterModuleResources.
void RegisterModuleResources(const void* in_pAnchor, const char* in_pScript, size_t in_uSize);
void UnregisterModuleResources(const void* in_pAnchor);

}  // namespace standin
