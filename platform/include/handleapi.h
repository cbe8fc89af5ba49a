// Kernel handles.
#pragma once

#include "windef.h"

#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) BOOL WINAPI CloseHandle(HANDLE hObject);
__declspec(dllimport) HANDLE WINAPI GetCurrentProcess(void);
__declspec(dllimport) BOOL WINAPI
    DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                    LPHANDLE lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle,
                    DWORD dwOptions);

#ifdef __cplusplus
}
#endif
