// What a plug-in posts through its context: data records byte for byte, refusals while the host
// cannot take data, messages with their levels, and a bounded history of the latest posts.

#include <gtest/gtest.h>

#include <cstring>

#include "HostMixerContext.h"

namespace {

TEST(HostMonitorLogTest, KeepsTheLatestRecordsAndMessagesInOrder) {
    host::HostGlobalContext global;
    host::HostMixerContext context(global);
    ZV::IMixerPluginContext* pContext = &context;
    EXPECT_EQ(&global, pContext->GlobalContext());

    const uint8_t aRecord[12] = {3, 0, 0, 0, 5, 0, 0, 0, 32, 0, 0, 0};
    ASSERT_TRUE(pContext->CanPostMonitorData());
    EXPECT_EQ(ZV_Success, pContext->PostMonitorData(aRecord, sizeof(aRecord)));
    EXPECT_EQ(std::vector<uint8_t>(aRecord, aRecord + 12), context.MonitorLog().DataRecords()[0]);
    EXPECT_EQ(ZV_Success, pContext->PostMonitorMessage("WS Mixer Plugin: Resetting", 1));
    ASSERT_EQ(1u, context.MonitorLog().Messages().size());
    EXPECT_EQ("WS Mixer Plugin: Resetting", context.MonitorLog().Messages()[0].text);
    EXPECT_EQ(1u, context.MonitorLog().Messages()[0].eLevel);

    // More posts than the history holds: the latest are kept, oldest first.
    const size_t kPosts = host::HostMonitorLog::kMaxRecords + 10;
    for (uint32_t uPost = 1; uPost < kPosts; ++uPost) {
        ASSERT_EQ(ZV_Success, pContext->PostMonitorData(&uPost, sizeof(uPost)));
    }
    const auto records = context.MonitorLog().DataRecords();
    ASSERT_EQ(host::HostMonitorLog::kMaxRecords, records.size());
    uint32_t uOldest;
    uint32_t uNewest;
    std::memcpy(&uOldest, records.front().data(), sizeof(uOldest));
    std::memcpy(&uNewest, records.back().data(), sizeof(uNewest));
    EXPECT_EQ(10u, uOldest);
    EXPECT_EQ(kPosts - 1, uNewest);
    EXPECT_EQ(kPosts, context.MonitorLog().DataPostCount());
    // The latest record alone, cut to what the reader has room for, with its posted size.
    uint8_t aLatest[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    uint32_t uSize = 0;
    EXPECT_EQ(kPosts, context.MonitorLog().LatestData(aLatest, 2, uSize));
    EXPECT_EQ(sizeof(uint32_t), uSize);
    EXPECT_EQ(std::vector<uint8_t>(records.back().begin(), records.back().begin() + 2),
              std::vector<uint8_t>(aLatest, aLatest + 2));
    EXPECT_EQ(0xAA, aLatest[2]);
    host::HostMixerContext empty(global);
    EXPECT_EQ(0u, empty.MonitorLog().LatestData(aLatest, sizeof(aLatest), uSize));
    EXPECT_EQ(0u, uSize);

    // While the host cannot take data, posts are refused and not kept.
    context.MonitorLog().SetCanPostData(false);
    EXPECT_FALSE(pContext->CanPostMonitorData());
    EXPECT_EQ(ZV_Failure, pContext->PostMonitorData(aRecord, sizeof(aRecord)));
    EXPECT_EQ(kPosts, context.MonitorLog().DataPostCount());
}

}  // namespace
