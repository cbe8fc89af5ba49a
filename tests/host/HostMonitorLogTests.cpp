// What a plug-in posts through its context: data records byte for byte, refusals while the host
// cannot take data, messages with their levels, and a bounded history of the latest posts.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HostMixerContext.h"

namespace {

TEST(HostMonitorLogTest, KeepsPostedRecordsAndMessagesInOrder) {
    host::HostGlobalContext global;
    host::HostMixerContext context(global);
    ZV::IMixerPluginContext* pContext = &context;
    EXPECT_EQ(&global, pContext->GlobalContext());

    const uint8_t aFirst[12] = {3, 0, 0, 0, 5, 0, 0, 0, 32, 0, 0, 0};
    const uint8_t aSecond[12] = {0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(pContext->CanPostMonitorData());
    EXPECT_EQ(ZV_Success, pContext->PostMonitorData(aFirst, sizeof(aFirst)));
    EXPECT_EQ(ZV_Success, pContext->PostMonitorData(aSecond, sizeof(aSecond)));
    EXPECT_EQ(ZV_Success, pContext->PostMonitorMessage("WS Mixer Plugin: Resetting", 1));
    EXPECT_EQ(ZV_Success, pContext->PostMonitorMessage("failed", 2));

    const auto records = context.MonitorLog().DataRecords();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(std::vector<uint8_t>(aFirst, aFirst + 12), records[0]);
    EXPECT_EQ(std::vector<uint8_t>(aSecond, aSecond + 12), records[1]);
    const auto messages = context.MonitorLog().Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("WS Mixer Plugin: Resetting", messages[0].text);
    EXPECT_EQ(1u, messages[0].eLevel);
    EXPECT_EQ("failed", messages[1].text);
    EXPECT_EQ(2u, messages[1].eLevel);
}

TEST(HostMonitorLogTest, RefusesDataWhileItCannotTakeAny) {
    host::HostGlobalContext global;
    host::HostMixerContext context(global);
    context.MonitorLog().SetCanPostData(false);
    const uint8_t aRecord[4] = {1, 2, 3, 4};
    EXPECT_FALSE(context.CanPostMonitorData());
    EXPECT_EQ(ZV_Failure, context.PostMonitorData(aRecord, sizeof(aRecord)));
    EXPECT_EQ(0u, context.MonitorLog().DataPostCount());
    EXPECT_EQ(ZV_BadParameter, context.PostMonitorMessage(nullptr, 1));
    EXPECT_EQ(0u, context.MonitorLog().MessageCount());
}

TEST(HostMonitorLogTest, KeepsTheLatestPostsAndCutsWhatDoesNotFit) {
    host::HostMonitorLog log;
    const size_t kPosts = host::HostMonitorLog::kMaxRecords + 10;
    for (uint32_t uPost = 0; uPost < kPosts; ++uPost) {
        ASSERT_EQ(ZV_Success, log.AddData(&uPost, sizeof(uPost)));
    }
    EXPECT_EQ(kPosts, log.DataPostCount());
    const auto records = log.DataRecords();
    ASSERT_EQ(host::HostMonitorLog::kMaxRecords, records.size());
    uint32_t uOldest;
    std::memcpy(&uOldest, records.front().data(), sizeof(uOldest));
    EXPECT_EQ(10u, uOldest);
    uint32_t uNewest;
    std::memcpy(&uNewest, records.back().data(), sizeof(uNewest));
    EXPECT_EQ(kPosts - 1, uNewest);

    const std::vector<uint8_t> big(host::HostMonitorLog::kMaxDataBytes + 20, 0x5A);
    ASSERT_EQ(ZV_Success, log.AddData(big.data(), static_cast<uint32_t>(big.size())));
    EXPECT_EQ(host::HostMonitorLog::kMaxDataBytes, log.DataRecords().back().size());
    EXPECT_EQ(big.size(), log.DataSizes().back());

    const std::string longText(host::HostMonitorLog::kMaxMessageChars * 2, 'x');
    ASSERT_EQ(ZV_Success, log.AddMessage(longText.c_str(), 1));
    EXPECT_EQ(host::HostMonitorLog::kMaxMessageChars - 1, log.Messages().back().text.size());

    log.Clear();
    EXPECT_TRUE(log.DataRecords().empty());
    EXPECT_TRUE(log.Messages().empty());
}

}  // namespace
