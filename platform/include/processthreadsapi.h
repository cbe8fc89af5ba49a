// Threads of the calling process.
#pragma once

#include "windef.h"

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) DWORD WINAPI GetCurrentThreadId(void);

#ifdef __cplusplus
}
#endif
