// Thread-pool work items.
#pragma once

#include "windef.h"

typedef struct _TP_WORK TP_WORK, *PTP_WORK;
typedef struct _TP_CALLBACK_INSTANCE TP_CALLBACK_INSTANCE, *PTP_CALLBACK_INSTANCE;
typedef struct _TP_CALLBACK_ENVIRON_V3 TP_CALLBACK_ENVIRON, *PTP_CALLBACK_ENVIRON;
typedef VOID(NTAPI* PTP_WORK_CALLBACK)(PTP_CALLBACK_INSTANCE Instance, PVOID Context,
                                       PTP_WORK Work);

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) PTP_WORK WINAPI
    CreateThreadpoolWork(PTP_WORK_CALLBACK pfnwk, PVOID pv, PTP_CALLBACK_ENVIRON pcbe);
__declspec(dllimport) void WINAPI SubmitThreadpoolWork(PTP_WORK pwk);
__declspec(dllimport) void WINAPI
    WaitForThreadpoolWorkCallbacks(PTP_WORK pwk, BOOL fCancelPendingCallbacks);
__declspec(dllimport) void WINAPI CloseThreadpoolWork(PTP_WORK pwk);

#ifdef __cplusplus
}
#endif
