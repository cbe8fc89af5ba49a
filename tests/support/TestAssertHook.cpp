// The assertion hook of every test program: null until an AssertRecorder is installed. Linked into
// each test executable as an object of its own, so that it is there whichever static library's
// code refers to it first.
#include "AssertHook.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;
