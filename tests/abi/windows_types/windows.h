// The Windows type names that the design-tool interface headers mention, and nothing else: the
// layout check compiles those headers for the four Windows targets, where no SDK is at hand. A
// vtable's indexes do not depend on the types of the arguments.
#pragma once

#include <stdint.h>

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef struct tagVARIANT VARIANT;
typedef struct HINSTANCE__* HINSTANCE;
typedef struct HWND__* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
