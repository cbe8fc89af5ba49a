// VARIANT: the tagged value of design-tool properties (VT_BOOL, VT_I4, VT_R4).
#pragma once

#include "wtypes.h"
#include "winerror.h"

typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        INT intVal;
        UINT uintVal;
        ULONG ulVal;
        struct {
            PVOID pvRecord;
            PVOID pRecInfo;
        } brecVal;
    };
} VARIANT, VARIANTARG;
static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16), "VARIANT size");
typedef VARIANT* LPVARIANT;

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) void WINAPI VariantInit(VARIANT* pvarg);
__declspec(dllimport) HRESULT WINAPI VariantClear(VARIANT* pvarg);

#ifdef __cplusplus
}
#endif
