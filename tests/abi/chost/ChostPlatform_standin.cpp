// The stand-in's side of the C host: its loader, its stepped renderer with the passes captured,
// and its count of live platform objects.

#include <objbase.h>
#include <windows.h>

#include <math.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ChostPlatform.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace {

std::vector<standin::Pass> g_passes;

}  // namespace

extern "C" {

void ZvcPlatformStart(void) {
    standin::Reset();
    standin::CapturePasses(100000);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

void ZvcPlatformStop(void) {
    CoUninitialize();
    standin::CapturePasses(0);
    g_passes.clear();
}

void* ZvcLoadLibrary(const char* in_pszName) {
    const std::string name(in_pszName);
    return LoadLibraryW(std::wstring(name.begin(), name.end()).c_str());
}

void ZvcFreeLibrary(void* in_pLibrary) {
    FreeLibrary(static_cast<HMODULE>(in_pLibrary));
}

void* ZvcFindExport(void* in_pLibrary, const char* in_pszName) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(in_pLibrary), in_pszName));
}

void ZvcRenderPass(void) {
    standin::Step();
    for (standin::Pass& pass : standin::TakePasses()) {
        g_passes.push_back(std::move(pass));
    }
}

float ZvcRenderedPeak(uint32_t in_uObjectType) {
    float fPeak = 0.0f;
    for (const standin::Pass& pass : g_passes) {
        for (const standin::ObjectPass& object : pass.objects) {
            if (static_cast<uint32_t>(object.type) != in_uObjectType) {
                continue;
            }
            for (const float fSample : object.samples) {
                fPeak = fmaxf(fPeak, fabsf(fSample));
            }
        }
    }
    return fPeak;
}

void ZvcForgetRendered(void) {
    g_passes.clear();
}

int ZvcNothingLive(void) {
    // Work items and completion threads end on their own threads: a bounded wait for them.
    for (int iTry = 0; iTry < 500; ++iTry) {
        const standin::LiveCounts live = standin::Live();
        if (live.comObjects == 0 && live.references == 0 && live.eventHandles == 0 &&
            live.handles == 0 && live.workItems == 0 && live.runningCallbacks == 0 &&
            live.taskMemBlocks == 0 && live.hstrings == 0 && live.criticalSections == 0) {
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}
}
