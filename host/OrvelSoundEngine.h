// The test host's stand-in for the sound engine library that runs inside the design tool,
// "OrvelSoundEngine.dll": its export "RegisterOrvelPlugin" takes a design-tool library's
// registration list, which it records for tests to read. Linking the library gives a program its
// records; LoadLibraryW(L"OrvelSoundEngine.dll") finds the same library next to the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ZvPluginRegistration.h"

extern "C" __declspec(dllexport) void RegisterOrvelPlugin(ZvPluginRegistration* in_pList);

// For a host that reaches the library only through GetProcAddress: the head of the latest list
// received (null when none arrived), and in out_puListCount (when not null) how many arrived.
extern "C" __declspec(dllexport) const ZvPluginRegistration* LastReceivedPluginList(
    uint32_t* out_puListCount);
typedef const ZvPluginRegistration* (*LastReceivedPluginListFn)(uint32_t* out_puListCount);

namespace host {

// One record of a received list, as it read when the list arrived.
struct ReceivedRecord {
    const ZvPluginRegistration* pRecord;
    uint32_t eType;
    uint32_t uCompanyId;
    uint32_t uPluginId;
    ZvCreatePluginFn pCreatePlugin;
    ZvCreateParamFn pCreateParam;
};

struct ReceivedList {
    const ZvPluginRegistration* pHead;
    std::vector<ReceivedRecord> records;  // from the head to the end
};

// Every list received since the last ClearReceivedLists, in order of arrival.
__declspec(dllexport) std::vector<ReceivedList> ReceivedLists();
__declspec(dllexport) void ClearReceivedLists();

}  // namespace host
