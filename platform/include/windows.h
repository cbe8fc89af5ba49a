// The Windows API as the plug-ins use it. Off Windows this folder stands first on the include
// path, and the functions declared here are implemented by the stand-in platform library.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "guiddef.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "synchapi.h"
#include "processthreadsapi.h"
#include "threadpoolapiset.h"
#include "libloaderapi.h"
#include "winuser.h"
#include "objbase.h"
#include "oleauto.h"
