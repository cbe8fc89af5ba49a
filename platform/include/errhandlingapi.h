// The calling thread's last error.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) DWORD WINAPI GetLastError(void);
__declspec(dllimport) void WINAPI SetLastError(DWORD dwErrCode);

#ifdef __cplusplus
}
#endif
