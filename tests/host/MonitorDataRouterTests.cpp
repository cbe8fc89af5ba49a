// The delivery of monitoring records from the engine's audio thread to design-tool objects: in
// order, bounded, and allocation-free on the posting side.

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "AllocationCounter.h"
#include "MonitorDataRouter.h"
#include "RecordingDesignToolObject.h"

namespace {

using host_tests::RecordingObject;

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

}  // namespace
