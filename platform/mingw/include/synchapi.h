// MinGW-w64's synchapi.h lacks the flag for a high-resolution waitable timer (Windows 10, version
// 1803 and later); older systems refuse it with ERROR_INVALID_PARAMETER.
#pragma once

#include_next <synchapi.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
