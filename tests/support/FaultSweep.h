// Fails each platform call of a scenario in turn.
//
// The scenario runs once cleanly while the stand-in logs its calls; then it runs once more for
// every logged call that can fail, with that call (that occurrence of its name) failing. Calls that
// only give something back (frees, closes, releases) or cannot fail are not failed: a fault there
// would only make the stand-in itself leak.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "standin/Control.h"

namespace testing_support {

inline bool IsInfallibleCall(const std::string& in_name) {
    static const char* const kNames[] = {
        "CloseHandle",           "CloseThreadpoolWork",
        "CoTaskMemFree",         "CoUninitialize",
        "DeleteCriticalSection", "EnterCriticalSection",
        "FreeLibrary",           "LeaveCriticalSection",
        "PropVariantClear",      "Sleep",
        "SubmitThreadpoolWork",  "VariantClear",
        "VariantInit",           "WaitForThreadpoolWorkCallbacks",
        "WindowsDeleteString",
    };
    for (const char* pszName : kNames) {
        if (in_name == pszName) {
            return true;
        }
    }
    return false;
}

struct FailedCall {
    std::string name;
    uint32_t uOccurrence;  // 1 for the first call of that name in the scenario
};

// The calls of in_calls that a sweep fails, each with its occurrence number.
inline std::vector<FailedCall> CallsToFail(const std::vector<std::string>& in_calls) {
    std::vector<FailedCall> result;
    for (size_t i = 0; i < in_calls.size(); ++i) {
        if (IsInfallibleCall(in_calls[i])) {
            continue;
        }
        uint32_t uOccurrence = 0;
        for (size_t j = 0; j <= i; ++j) {
            uOccurrence += in_calls[j] == in_calls[i] ? 1 : 0;
        }
        result.push_back(FailedCall{in_calls[i], uOccurrence});
    }
    return result;
}

// in_scenario() runs the code under test; in_check(call) runs after each faulted run, with the
// scope trace naming the failed call.
template <typename Scenario, typename Check>
void SweepPlatformFaults(Scenario in_scenario, Check in_check, HRESULT in_hr = E_FAIL) {
    standin::ClearFaults();
    standin::ClearCallLog();
    in_scenario();
    const std::vector<FailedCall> calls = CallsToFail(standin::CallLog());
    ASSERT_FALSE(calls.empty()) << "the scenario made no platform call";
    for (const FailedCall& call : calls) {
        SCOPED_TRACE(call.name + " #" + std::to_string(call.uOccurrence));
        standin::ClearFaults();
        standin::FailCall(call.name, call.uOccurrence, in_hr);
        in_scenario();
        standin::ClearFaults();
        in_check(call);
    }
}

}  // namespace testing_support
