// Windows and messages (the part the design-tool plug-ins call).
#pragma once

#include "windef.h"

#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_INITDIALOG 0x0110
#define WM_USER 0x0400
