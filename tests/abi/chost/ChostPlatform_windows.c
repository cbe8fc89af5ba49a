#include <objbase.h>
#include <windows.h>

#include "ChostPlatform.h"

void ZvcPlatformStart(void) {
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
}

void ZvcPlatformStop(void) {
    CoUninitialize();
}

void* ZvcLoadLibrary(const char* in_pszName) {
    return (void*)LoadLibraryA(in_pszName);
}

void ZvcFreeLibrary(void* in_pLibrary) {
    FreeLibrary((HMODULE)in_pLibrary);
}

void* ZvcFindExport(void* in_pLibrary, const char* in_pszName) {
    return (void*)GetProcAddress((HMODULE)in_pLibrary, in_pszName);
}

void ZvcRenderPass(void) {
    Sleep(10);
}

float ZvcRenderedPeak(uint32_t in_uObjectType) {
    (void)in_uObjectType;
    return -1.0f;
}

void ZvcForgetRendered(void) {}

int ZvcNothingLive(void) {
    return -1;
}
