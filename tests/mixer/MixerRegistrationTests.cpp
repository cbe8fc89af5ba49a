// The SpatialMixerFX library as the host finds it: what it exports, the two records in list
// order, parameter objects made through the records' factories, and a mixer made through the
// library's own factory that plays through the renderer.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ElfExports.h"
#include "HostAllocator.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "MixerBusDriver.h"
#include "StandinFixture.h"
#include "ZvPluginRegistration.h"
#include "standin/Renderer.h"

namespace {

class MixerRegistrationTest : public testing_support::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        m_hModule = LoadLibraryW(L"SpatialMixerFX.dll");
        ASSERT_NE(nullptr, m_hModule);
        auto* ppHead = reinterpret_cast<ZvPluginRegistration**>(
            reinterpret_cast<void*>(GetProcAddress(m_hModule, "g_pZVPluginList")));
        ASSERT_NE(nullptr, ppHead);
        m_pHead = *ppHead;
    }
    void TearDown() override {
        if (m_hModule != nullptr) {
            EXPECT_TRUE(FreeLibrary(m_hModule));
        }
        EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
        StandinTest::TearDown();
    }

    HMODULE m_hModule = nullptr;
    ZvPluginRegistration* m_pHead = nullptr;
    host::HostAllocator m_allocator;
};

TEST_F(MixerRegistrationTest, ListReadsAttachmentThenMixer) {
    ASSERT_NE(nullptr, m_pHead);
    const ZvPluginRegistration* pAttachment = m_pHead;
    const ZvPluginRegistration* pMixer = m_pHead->pNext;
    ASSERT_NE(nullptr, pMixer);
    EXPECT_EQ(nullptr, pMixer->pNext);

    EXPECT_EQ(3u, pAttachment->eType);
    EXPECT_EQ(275u, pAttachment->uCompanyId);
    EXPECT_EQ(798u, pAttachment->uPluginId);
    EXPECT_EQ(nullptr, pAttachment->pCreatePlugin);
    EXPECT_NE(nullptr, pAttachment->pCreateParam);

    EXPECT_EQ(6u, pMixer->eType);
    EXPECT_EQ(275u, pMixer->uCompanyId);
    EXPECT_EQ(799u, pMixer->uPluginId);
    EXPECT_NE(nullptr, pMixer->pCreatePlugin);
    EXPECT_NE(nullptr, pMixer->pCreateParam);
}

TEST_F(MixerRegistrationTest, FactoriesMakeTheirOwnKindOfParameters) {
    ASSERT_NE(nullptr, m_pHead);
    ASSERT_NE(nullptr, m_pHead->pNext);
    const float fOff = 0.0f;
    const int32_t iFour = 4;

    // The mixer's parameters know id 6, the attachment's do not.
    ZV::IPluginParam* pMixerParams = m_pHead->pNext->pCreateParam(&m_allocator);
    ASSERT_NE(nullptr, pMixerParams);
    EXPECT_EQ(ZV_Success, pMixerParams->InitParameters(&m_allocator, nullptr, 0));
    EXPECT_EQ(ZV_Success, pMixerParams->SetParameter(6, &iFour, 4));
    EXPECT_EQ(ZV_BadParameter, pMixerParams->SetParameter(1, &fOff, 4));

    ZV::IPluginParam* pAttachmentParams = m_pHead->pCreateParam(&m_allocator);
    ASSERT_NE(nullptr, pAttachmentParams);
    EXPECT_EQ(ZV_Success, pAttachmentParams->InitParameters(&m_allocator, nullptr, 0));
    EXPECT_EQ(ZV_Success, pAttachmentParams->SetParameter(0, &fOff, 4));
    EXPECT_EQ(ZV_BadParameter, pAttachmentParams->SetParameter(6, &iFour, 4));

    EXPECT_EQ(2u, m_allocator.OutstandingBlocks());
    EXPECT_EQ(ZV_Success, pMixerParams->TermParameters(&m_allocator));
    // The library's own assertion hook is null: the failed check reports nowhere and no harm.
    EXPECT_EQ(nullptr, m_pHead->pCreateParam(nullptr));
    EXPECT_EQ(nullptr, m_pHead->pNext->pCreateParam(nullptr));
    EXPECT_EQ(ZV_Success, pAttachmentParams->TermParameters(&m_allocator));
}

TEST_F(MixerRegistrationTest, TheLibraryExportsOnlyItsList) {
    std::vector<std::string> exports;
    std::string error;
    ASSERT_TRUE(testing_support::ReadElfExports(ZV_SPATIALMIXERFX_PATH, exports, error)) << error;
    EXPECT_EQ(std::vector<std::string>{"g_pZVPluginList"}, exports);
}

TEST_F(MixerRegistrationTest, TheLibrarysMixerPlaysItsVoicesAsObjects) {
    ASSERT_NE(nullptr, m_pHead);
    const ZvPluginRegistration* pRecord = m_pHead->pNext;
    ASSERT_NE(nullptr, pRecord);
    ZV::IPluginParam* pParams = pRecord->pCreateParam(&m_allocator);
    ASSERT_NE(nullptr, pParams);
    pParams->InitParameters(&m_allocator, nullptr, 0);
    EXPECT_EQ(nullptr, pRecord->pCreatePlugin(nullptr));
    auto* pMixer = static_cast<ZV::IMixerPlugin*>(pRecord->pCreatePlugin(&m_allocator));
    ASSERT_NE(nullptr, pMixer);

    host::HostGlobalContext global(480);
    host::HostMixerContext context(global);
    ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x3)};
    standin::CapturePasses(4);
    ASSERT_EQ(ZV_Success, pMixer->InitPlugin(&m_allocator, &context, pParams, format));
    // The Universal Windows build: its client came through the asynchronous route.
    const std::vector<standin::ClientActivation> clients = standin::ClientActivations();
    ASSERT_EQ(1u, clients.size());
    EXPECT_TRUE(clients[0].asynchronous);
    {
        host::MixerBusDriver bus(*pMixer, format.channelConfig, 480);
        host::MixerBusDriver::Voice& voice = bus.AddVoice(ZvChannelLayout::FromMask(0x3));
        voice.SetSource(host::MixerBusDriver::Voice::Constant({0.5f, 0.5f}));
        voice.Context().SetPosition(3.0f, 0.0f, 0.0f);
        bus.RunFrame();
        standin::Step();
    }
    const std::vector<standin::Pass> passes = standin::TakePasses();
    ASSERT_FALSE(passes.empty());
    ASSERT_FALSE(passes.back().objects.empty());
    EXPECT_FLOAT_EQ(0.7f, passes.back().objects[0].samples[0]);
    EXPECT_FLOAT_EQ(-3.0f, passes.back().objects[0].z);

    EXPECT_EQ(ZV_Success, pMixer->TermPlugin(&m_allocator));
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
}

}  // namespace
