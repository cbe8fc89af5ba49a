// The effect's engine library as the host meets it (its exports, its one record, its factories),
// and the effect's face towards the host: what it reports, its constant slots, the parameter
// object that accepts everything, and the set-ups it refuses.

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "AssertRecorder.h"
#include "EffectTestSupport.h"
#include "ElfExports.h"
#include "ISACFXParams.h"
#include "PluginLibrary.h"
#include "ZvResult.h"
#include "standin/Control.h"

namespace {

using effect_tests::EffectTest;

TEST_F(EffectTest, TheEngineLibraryExportsOnlyItsRegistrationList) {
    std::vector<std::string> exports;
    std::string error;
    ASSERT_TRUE(testing_support::ReadElfExports(ZV_EFFECT_LIBRARY_PATH, exports, error)) << error;
    EXPECT_EQ(std::vector<std::string>{"g_pZVPluginList"}, exports);
}

// The record leads to both factories, which build working objects in the host's memory.
TEST_F(EffectTest, TheLoadedListCarriesOneEffectRecordWithBothFactories) {
    host::PluginLibrary library;
    ASSERT_TRUE(library.Load(L"SpatialEffectEngine.dll")) << library.Error();
    ASSERT_NE(nullptr, library.Head());
    EXPECT_EQ(nullptr, library.Head()->pNext) << "the effect library registers one plug-in";
    const ZvPluginRegistration* pRecord = library.Find(kZvCompanyId, kZvEffectPluginId);
    ASSERT_EQ(library.Head(), pRecord);
    EXPECT_EQ(uint32_t{ZvPluginTypeEffect}, pRecord->eType);
    EXPECT_EQ(nullptr, pRecord->pReserved1);
    EXPECT_EQ(nullptr, pRecord->pReserved2);
    EXPECT_EQ(0u, pRecord->uExtra1);
    EXPECT_EQ(0u, pRecord->uExtra2);
    ASSERT_NE(nullptr, pRecord->pCreatePlugin);
    ASSERT_NE(nullptr, pRecord->pCreateParam);
    EXPECT_EQ(nullptr, pRecord->pCreatePlugin(nullptr));
    EXPECT_EQ(nullptr, pRecord->pCreateParam(nullptr));

    ZV::IPluginParam* pParams = pRecord->pCreateParam(&m_allocator);
    ASSERT_NE(nullptr, pParams);
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, nullptr, 0));

    auto* pEffect = static_cast<ZV::IInPlaceEffectPlugin*>(pRecord->pCreatePlugin(&m_allocator));
    ASSERT_NE(nullptr, pEffect);
    host::HostGlobalContext global(480);
    host::HostEffectContext context(global);
    ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(effect_tests::kStereoMask)};
    ASSERT_EQ(ZV_Success, pEffect->InitPlugin(&m_allocator, &context, pParams, format));
    host::HostBusDriver driver(*pEffect, format.channelConfig, 480);
    driver.Process(480, effect_tests::SampleSource());
    EXPECT_EQ(0.0f, driver.Channel(1)[0]) << "the library's effect diverts the bus";
    ASSERT_EQ(1u, standin::Step());
    EXPECT_EQ(ZV_Success, pEffect->TermPlugin(&m_allocator));
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
}

TEST_F(EffectTest, FactoriesReportAMissingAllocatorAndAnExhaustedOne) {
    testing_support::AssertRecorder checks;
    EXPECT_EQ(nullptr, CreateISACFXPlugin(nullptr));
    EXPECT_EQ(nullptr, CreateISACFXParams(nullptr));
    EXPECT_EQ(2u, checks.Reports().size());
    EXPECT_TRUE(checks.Saw("in_pAllocator != NULL", "ISACFX"));
    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, CreateISACFXPlugin(&m_allocator));
    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, CreateISACFXParams(&m_allocator));
}

TEST_F(EffectTest, TheEffectDescribesItselfAndAnswersItsConstantSlots) {
    ASSERT_EQ(ZV_Success, Init(ZvChannelLayout::FromMask(effect_tests::kStereoMask)));
    ZV::IInPlaceEffectPlugin* pEffect = m_pEffect;
    ZvPluginInfo info;
    memset(&info, 0xAB, sizeof(info));
    EXPECT_EQ(ZV_Success, pEffect->DescribePlugin(info));
    EXPECT_EQ(3u, info.eType);
    EXPECT_EQ(516098u, info.uBuildVersion);
    EXPECT_TRUE(info.bIsInPlace);
    uint8_t uReserved;
    memcpy(&uReserved, &info.bReserved, 1);
    EXPECT_EQ(0xABu, uReserved) << "the byte between the flags is not the effect's";
    EXPECT_FALSE(info.bCanProcessObjects);

    EXPECT_FALSE(pEffect->SupportsOfflineRendering());
    const uint8_t aMedia[4] = {};
    EXPECT_EQ(0, static_cast<int>(pEffect->RelocateMedia(aMedia, aMedia)));
    for (const uint32_t uArgument : {0u, 1u, 480u, 0xFFFFFFFFu}) {
        EXPECT_EQ(45, static_cast<int>(pEffect->TimeSkip(uArgument)));
    }
    // On an effect without a worker, slot 8 is seen to do nothing else at all.
    ZV::IPlugin* pIdle = CreateISACFXPlugin(&m_allocator);
    ASSERT_NE(nullptr, pIdle);
    const size_t uBlocks = m_allocator.OutstandingBlocks();
    standin::ClearCallLog();
    EXPECT_EQ(45, static_cast<int>(static_cast<ISACFXPlugin*>(pIdle)->TimeSkip(7)));
    EXPECT_TRUE(standin::CallLog().empty());
    EXPECT_EQ(uBlocks, m_allocator.OutstandingBlocks());
    EXPECT_EQ(ZV_Success, pIdle->TermPlugin(&m_allocator));
}

// Twelve channels are the most (the 7.1.4 bus of the processing tests); no channel at all fails
// without a message.
TEST_F(EffectTest, ThirteenChannelsOrNoneAreRefusedAndTermFreesNothing) {
    EXPECT_EQ(ZV_Failure, Init(ZvChannelLayout()));
    EXPECT_EQ(0u, m_pContext->MonitorLog().MessageCount());
    Term();

    ZvChannelLayout thirteen = ZvChannelLayout::FromMask(0x1FFF);
    ASSERT_EQ(13u, thirteen.uNumChannels);
    standin::ClearCallLog();
    EXPECT_EQ(ZV_Failure, Init(thirteen));
    const std::vector<host::HostMonitorLog::Message> messages = m_pContext->MonitorLog().Messages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Windows Sonic Effect plugin error: Channel Count > 12", messages[0].text);
    EXPECT_EQ(2u, messages[0].eLevel);
    EXPECT_TRUE(standin::CallLog().empty()) << "nothing was opened";
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks()) << "only the effect itself";

    host::HostBusDriver driver(*m_pEffect, thirteen, 64);
    driver.Process(64, effect_tests::SampleSource());
    EXPECT_EQ(effect_tests::Sample(12, 63), driver.Channel(12)[63]) << "a refused bus passes";
    Term();
    EXPECT_TRUE(standin::CallLog().empty()) << "no worker to stop";
}

TEST_F(EffectTest, ASecondInitialisationIsRefusedAndKeepsTheFirst) {
    testing_support::AssertRecorder checks;
    ASSERT_EQ(ZV_Success, Init(ZvChannelLayout::FromMask(effect_tests::kStereoMask), 480));
    ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x7)};
    EXPECT_EQ(ZV_Failure, m_pEffect->InitPlugin(&m_allocator, m_pContext.get(), nullptr, format));
    EXPECT_FALSE(checks.Reports().empty());
    host::HostBusDriver driver(*m_pEffect, ZvChannelLayout::FromMask(effect_tests::kStereoMask),
                               480);
    driver.Process(480, effect_tests::SampleSource());
    ASSERT_EQ(1u, standin::Step());
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_EQ(1u, passes.size());
    ASSERT_EQ(2u, passes[0].objects.size());
    EXPECT_EQ(effect_tests::Sample(1, 5), passes[0].objects[1].samples[5]);
}

// The parameter object holds nothing and accepts everything.
TEST_F(EffectTest, TheParameterObjectAcceptsEverythingAndClonesIndependently) {
    ZV::IPluginParam* pParams = CreateISACFXParams(&m_allocator);
    ASSERT_NE(nullptr, pParams);
    const uint8_t aBlock[16] = {1, 2, 3};
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, nullptr, 0));
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, aBlock, sizeof(aBlock)));
    EXPECT_EQ(ZV_Success, pParams->SetParameterBlock(nullptr, 12345));
    for (const uint16_t uId : {uint16_t{0}, uint16_t{7}, uint16_t{0xFFFF}}) {
        EXPECT_EQ(ZV_Success, pParams->SetParameter(uId, nullptr, 0));
        EXPECT_EQ(ZV_Success, pParams->SetParameter(uId, aBlock, 4));
    }
    ZV::IPluginParam* pClone = pParams->CloneParameters(&m_allocator);
    ASSERT_NE(nullptr, pClone);
    EXPECT_NE(pParams, pClone);
    EXPECT_EQ(2u, m_allocator.OutstandingBlocks());
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
    EXPECT_EQ(ZV_Success, pClone->SetParameter(1, aBlock, 4)) << "the clone outlives its source";
    EXPECT_EQ(ZV_Success, pClone->TermParameters(&m_allocator));
    ZV::IPluginParam* pLast = CreateISACFXParams(&m_allocator);
    ASSERT_NE(nullptr, pLast);
    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, pLast->CloneParameters(&m_allocator)) << "an exhausted allocator";
    EXPECT_EQ(ZV_Success, pLast->TermParameters(&m_allocator));
}

}  // namespace
