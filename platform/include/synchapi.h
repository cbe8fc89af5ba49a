// Critical sections, events, waitable timers, waits and Sleep.
#pragma once

#include "windef.h"

// The stand-in keeps its lock inside the record, which has the size of the Windows record.
typedef struct _RTL_CRITICAL_SECTION {
    alignas(void*) unsigned char Opaque[sizeof(void*) == 8 ? 40 : 24];
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

#define CRITICAL_SECTION_NO_DEBUG_INFO 0x01000000

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

#define SYNCHRONIZE 0x00100000L
#define TIMER_QUERY_STATE 0x0001
#define TIMER_MODIFY_STATE 0x0002
#define TIMER_ALL_ACCESS 0x001F0003
#define CREATE_WAITABLE_TIMER_MANUAL_RESET 0x00000001
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002

typedef VOID(APIENTRY* PTIMERAPCROUTINE)(LPVOID lpArgToCompletionRoutine, DWORD dwTimerLowValue,
                                         DWORD dwTimerHighValue);

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) BOOL WINAPI InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection,
                                                              DWORD dwSpinCount, DWORD Flags);
__declspec(dllimport) void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
__declspec(dllimport) void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
__declspec(dllimport) BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
__declspec(dllimport) void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
__declspec(dllimport) void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

__declspec(dllimport) HANDLE WINAPI
    CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                 LPCWSTR lpName);
__declspec(dllimport) BOOL WINAPI SetEvent(HANDLE hEvent);
__declspec(dllimport) BOOL WINAPI ResetEvent(HANDLE hEvent);
// Waitable timers: an unnamed timer, set with a due time (negative: relative, in 100-nanosecond
// units; positive: absolute, as a FILETIME) and a period in milliseconds (0: once); completion
// routines are not part of the stand-in.
__declspec(dllimport) HANDLE WINAPI
    CreateWaitableTimerExW(LPSECURITY_ATTRIBUTES lpTimerAttributes, LPCWSTR lpTimerName,
                           DWORD dwFlags, DWORD dwDesiredAccess);
__declspec(dllimport) BOOL WINAPI
    SetWaitableTimer(HANDLE hTimer, const LARGE_INTEGER* lpDueTime, LONG lPeriod,
                     PTIMERAPCROUTINE pfnCompletionRoutine, LPVOID lpArgToCompletionRoutine,
                     BOOL fResume);
__declspec(dllimport) BOOL WINAPI CancelWaitableTimer(HANDLE hTimer);
__declspec(dllimport) DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
__declspec(dllimport) void WINAPI Sleep(DWORD dwMilliseconds);

#ifdef __cplusplus
}
#endif
