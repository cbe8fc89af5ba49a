// A test that runs against the stand-in platform: it starts from a reset stand-in with COM
// initialised on the test thread (as the host engine's threads have it), and ends by checking that
// nothing the test created is still alive.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include "WaitUntil.h"
#include "standin/Control.h"
#include "standin/Renderer.h"

namespace testing_support {

inline ::testing::AssertionResult NothingLive() {
    const standin::LiveCounts live = standin::Live();
    if (live.comObjects == 0 && live.references == 0 && live.eventHandles == 0 &&
        live.handles == 0 && live.workItems == 0 && live.runningCallbacks == 0 &&
        live.taskMemBlocks == 0 && live.hstrings == 0 && live.criticalSections == 0 &&
        live.windows == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "still live: " << live.comObjects << " COM objects, " << live.references
           << " references, " << live.eventHandles << " event handles, " << live.handles
           << " handles, " << live.workItems << " work items, " << live.runningCallbacks
           << " callbacks, " << live.taskMemBlocks << " task memory blocks, " << live.hstrings
           << " HSTRINGs, " << live.criticalSections << " critical sections, " << live.windows
           << " windows";
}

// The default endpoint, its one format at in_uRate instead of the 48 kHz that Windows Sonic plays.
inline standin::EndpointConfig EndpointAtRate(uint32_t in_uRate) {
    standin::EndpointConfig endpoint;
    endpoint.formats = {standin::FloatMonoFormat(in_uRate)};
    return endpoint;
}

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        standin::Reset();
        ASSERT_TRUE(NothingLive()) << "an earlier test leaked";
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    }

    void TearDown() override {
        CoUninitialize();
        standin::Reset();
        // Callbacks and completion threads finish on their own threads; give them a bounded while.
        WaitUntil([]() { return standin::Live().runningCallbacks == 0; });
        EXPECT_TRUE(NothingLive());
    }
};

}  // namespace testing_support
