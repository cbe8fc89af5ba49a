// The registration list through which the host finds the plug-ins of a library.
//
// Every library of the family exports one data symbol, g_pZVPluginList: the head of a singly
// linked list of registration records, pushed by the library's static initialisers (so the list
// runs from the last registered record to the first). The list is complete before the host can see
// the library and never changes afterwards.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <windows.h>

#include "ZvHostEngine.h"

typedef ZV::IPlugin* (*ZvCreatePluginFn)(ZV::IPluginMemAlloc* in_pAllocator);
typedef ZV::IPluginParam* (*ZvCreateParamFn)(ZV::IPluginMemAlloc* in_pAllocator);

class ZvPluginRegistration {
public:
    // Makes this record the new head of g_pZVPluginList.
    ZvPluginRegistration(uint32_t in_eType, uint32_t in_uCompanyId, uint32_t in_uPluginId,
                         ZvCreatePluginFn in_pCreatePlugin, ZvCreateParamFn in_pCreateParam,
                         uintptr_t in_uExtra1 = 0, uintptr_t in_uExtra2 = 0);

    ZvPluginRegistration* pNext;
    uint32_t eType;
    uint32_t uCompanyId;
    uint32_t uPluginId;
    ZvCreatePluginFn pCreatePlugin;  // null when the record registers parameters only
    ZvCreateParamFn pCreateParam;
    void* pReserved1;
    void* pReserved2;
    uintptr_t uExtra1;
    uintptr_t uExtra2;
};

static_assert(sizeof(void*) != 8 || sizeof(ZvPluginRegistration) == 72, "record is 72 bytes");
static_assert(sizeof(void*) != 4 || sizeof(ZvPluginRegistration) == 40, "record is 40 bytes");
static_assert(offsetof(ZvPluginRegistration, eType) == sizeof(void*), "kind follows next");
static_assert(offsetof(ZvPluginRegistration, pCreatePlugin) == (sizeof(void*) == 8 ? 24 : 16),
              "factories are pointer-aligned");
static_assert(offsetof(ZvPluginRegistration, uExtra2) == (sizeof(void*) == 8 ? 64 : 36),
              "extra values close the record");

// The exported list head, null until the first record is registered. Each library gets its own
// definition from ZvPluginRegistration.cpp.
//
// Records are defined as static objects in the deliverable's own sources (not in the static
// libraries, whose unreferenced objects the linker would drop), in the order the list must read
// backwards.
extern "C" __declspec(dllexport) ZvPluginRegistration* g_pZVPluginList;
