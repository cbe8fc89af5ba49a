// spatialhost: the test host engine as a program of its own, using only the Windows API and the
// plug-in libraries' registration lists. Built for Windows (and run under Wine by
// scripts/windows-test.sh) and, against the stand-in, on Linux.
//
//   spatialhost probe                 the renderer's answers, one "key: value" line each

#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "PlatformSetup.h"
#include "RendererProbe.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: spatialhost probe\n");
    return 2;
}

// COM for the calling thread, for the life of the object (the host's threads are expected to have
// it, and the plug-ins' desktop builds rely on that).
class ComApartment {
public:
    ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    spatialhost::SetUpPlatform();
    ComApartment apartment;
    if (std::strcmp(argv[1], "probe") == 0) {
        return spatialhost::ProbeRenderer(stdout);
    }
    return Usage();
}
