// Critical sections, events, waits and Sleep.
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
__declspec(dllimport) DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
__declspec(dllimport) void WINAPI Sleep(DWORD dwMilliseconds);

#ifdef __cplusplus
}
#endif
