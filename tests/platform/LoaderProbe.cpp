// A library for the loader tests to find.
#include <windows.h>

extern "C" __declspec(dllexport) int StandinLoaderProbe() {
    return 42;
}
