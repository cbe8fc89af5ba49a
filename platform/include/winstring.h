// Windows Runtime strings.
#pragma once

#include "inspectable.h"

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) HRESULT WINAPI
    WindowsCreateString(PCWSTR sourceString, UINT32 length, HSTRING* string);
__declspec(dllimport) HRESULT WINAPI WindowsDeleteString(HSTRING string);
__declspec(dllimport) PCWSTR WINAPI WindowsGetStringRawBuffer(HSTRING string, UINT32* length);

#ifdef __cplusplus
}
#endif
