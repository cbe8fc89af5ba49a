// The delivery of monitoring records from the engine's audio thread to design-tool objects: in
// order, bounded, allocation-free on the posting side, and safe with both threads at work.

#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "DefaultAudioPluginImplementation.h"
#include "MonitorDataRouter.h"
#include "WaitUntil.h"

namespace {

// A design-tool object that keeps what it receives.
class RecordingObject final : public ZV::Orvel::DefaultAudioPluginImplementation {
public:
    void DestroyPlugin() override {}
    HINSTANCE GetResourceModule() override { return nullptr; }
    bool DescribeDialog(ZV::Orvel::DialogKind, uint32_t&,
                        const ZV::Orvel::PropertyControlBinding*&) override {
        return false;
    }
    void ReceiveMonitorData(const void* in_pData, uint32_t in_uDataSize, bool) override {
        const uint8_t* pBytes = static_cast<const uint8_t*>(in_pData);
        records.emplace_back(pBytes, pBytes + in_uDataSize);
    }

    std::vector<std::vector<uint8_t>> records;
};

std::vector<uint8_t> Record(uint32_t in_uValue) {
    std::vector<uint8_t> bytes(12, 0);
    memcpy(bytes.data(), &in_uValue, sizeof(in_uValue));
    return bytes;
}

TEST(MonitorDataRouterTest, RecordsReachTheirInstancesObjectInOrder) {
    host::MonitorDataRouter router;
    RecordingObject first;
    RecordingObject second;
    router.Attach(1, &first);
    router.Attach(2, &second);
    for (uint32_t i = 0; i < 4; ++i) {
        const std::vector<uint8_t> record = Record(i);
        EXPECT_TRUE(router.Post(1 + i % 2, record.data(), static_cast<uint32_t>(record.size())));
    }
    EXPECT_TRUE(router.Post(3, Record(9).data(), 12));  // no object: dropped at delivery
    EXPECT_EQ(4u, router.DeliverPending());
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{Record(0), Record(2)}), first.records);
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{Record(1), Record(3)}), second.records);
    router.Detach(1);
    router.Post(1, Record(5).data(), 12);
    EXPECT_EQ(0u, router.DeliverPending());
    EXPECT_EQ(2u, first.records.size());
}

TEST(MonitorDataRouterTest, PostingIsBoundedAndAllocatesNothing) {
    host::MonitorDataRouter router;
    RecordingObject object;
    router.Attach(1, &object);
    std::vector<uint8_t> oversized(host::MonitorDataRouter::kMaxRecordBytes + 1, 0);
    const std::vector<uint8_t> record = Record(7);
    testing_support::AllocationWatch allocations;
    EXPECT_FALSE(router.Post(1, oversized.data(), static_cast<uint32_t>(oversized.size())));
    for (size_t i = 0; i < host::MonitorDataRouter::kCapacity; ++i) {
        EXPECT_TRUE(router.Post(1, record.data(), 12));
    }
    EXPECT_FALSE(router.Post(1, record.data(), 12));
    EXPECT_EQ(0u, allocations.Count());
    EXPECT_EQ(2u, router.Dropped());
    EXPECT_EQ(host::MonitorDataRouter::kCapacity, router.DeliverPending());
    EXPECT_EQ(host::MonitorDataRouter::kCapacity, object.records.size());
}

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
