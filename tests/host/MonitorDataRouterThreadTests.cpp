// Monitoring records posted on an audio thread while the user-interface thread delivers them.

#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <thread>
#include <vector>

#include "MonitorDataRouter.h"
#include "RecordingDesignToolObject.h"
#include "WaitUntil.h"

namespace {

using host_tests::RecordingObject;

TEST(MonitorDataRouterTest, AnAudioThreadPostsWhileTheInterfaceThreadDelivers) {
    host::MonitorDataRouter router;
    RecordingObject object;
    router.Attach(1, &object);
    constexpr uint32_t kRecords = 5000;
    // Set here when delivery gives up, so that a failing test ends instead of hanging; read by
    // the poster. Relaxed: it carries no data.
    std::atomic<bool> bStop{false};
    std::thread audioThread([&router, &bStop]() {
        for (uint32_t i = 0; i < kRecords && !bStop.load(std::memory_order_relaxed);) {
            uint8_t aRecord[12] = {};
            memcpy(aRecord, &i, sizeof(i));
            if (router.Post(1, aRecord, sizeof(aRecord))) {
                ++i;
            } else {
                std::this_thread::yield();  // the ring is full until the other side delivers
            }
        }
    });
    const bool bAllDelivered = testing_support::WaitUntil([&router, &object]() {
        router.DeliverPending();
        return object.records.size() == kRecords;
    });
    bStop.store(true, std::memory_order_relaxed);
    audioThread.join();
    EXPECT_TRUE(bAllDelivered);
    ASSERT_EQ(kRecords, object.records.size());
    for (uint32_t i = 0; i < kRecords; ++i) {
        uint32_t uValue = 0;
        memcpy(&uValue, object.records[i].data(), sizeof(uValue));
        ASSERT_EQ(i, uValue);
    }
}

}  // namespace
