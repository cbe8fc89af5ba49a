// MinGW-w64's oleauto.h relies on <windows.h> having been included first (the SDK's does not);
// the plug-ins include the two in either order.
#pragma once

#include <windows.h>

#include_next <oleauto.h>
