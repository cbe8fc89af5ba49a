// PROPVARIANT: the tagged value through which activation parameters travel (VT_BLOB).
#pragma once

#include <string.h>

#include "wtypes.h"
#include "winerror.h"

typedef struct tagPROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        CHAR cVal;
        BYTE bVal;
        SHORT iVal;
        USHORT uiVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        BLOB blob;
        LPWSTR pwszVal;
        ULONGLONG uhVal;
    };
} PROPVARIANT;
static_assert(sizeof(PROPVARIANT) == (sizeof(void*) == 8 ? 24 : 16), "PROPVARIANT size");
typedef PROPVARIANT* LPPROPVARIANT;
typedef const PROPVARIANT* REFPROPVARIANT;

inline void PropVariantInit(PROPVARIANT* pvar) {
    memset(pvar, 0, sizeof(PROPVARIANT));
}

#ifdef __cplusplus
extern "C" {
#endif

// Frees what the variant owns (a blob's data is task memory) and empties it.
__declspec(dllimport) HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar);

#ifdef __cplusplus
}
#endif
