// COM run-time: apartments, object creation, GUIDs and task memory.
#pragma once

#include "objidl.h"
#include "unknwn.h"

typedef enum tagCOINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
} CLSCTX;
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
__declspec(dllimport) void WINAPI CoUninitialize(void);
__declspec(dllimport) HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                                      DWORD dwClsContext, REFIID riid, LPVOID* ppv);
__declspec(dllimport) HRESULT WINAPI CoCreateGuid(GUID* pguid);
__declspec(dllimport) LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
__declspec(dllimport) void WINAPI CoTaskMemFree(LPVOID pv);
__declspec(dllimport) HRESULT WINAPI
    CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter, LPUNKNOWN* ppunkMarshal);

#ifdef __cplusplus
}
#endif
