// The ZvSpatialSink library as the host engine meets it: loaded by its Windows name, it exports its
// registration list and nothing else, and the list leads to the sink's two factories.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ElfExports.h"
#include "HostAllocatorTest.h"
#include "HostGlobalContext.h"
#include "HostSinkContext.h"
#include "PluginLibrary.h"
#include "ZvResult.h"
#include "standin/Renderer.h"

namespace {

class SinkLibraryTest : public testing_support::HostAllocatorTest {};

TEST_F(SinkLibraryTest, TheLibraryExportsOnlyItsRegistrationList) {
    std::vector<std::string> exports;
    std::string error;
    ASSERT_TRUE(testing_support::ReadElfExports(ZV_SINK_LIBRARY_PATH, exports, error)) << error;
    EXPECT_EQ(std::vector<std::string>{"g_pZVPluginList"}, exports);
}

TEST_F(SinkLibraryTest, WalkingTheLoadedListFindsTheSinkAndItsParameterFactory) {
    host::PluginLibrary library;
    ASSERT_TRUE(library.Load(L"ZvSpatialSink.dll")) << library.Error();
    ASSERT_NE(nullptr, library.Head());
    EXPECT_EQ(nullptr, library.Head()->pNext) << "the sink library registers one plug-in";

    const ZvPluginRegistration* pSink = library.Find(kZvCompanyId, kZvSinkPluginId);
    ASSERT_EQ(library.Head(), pSink);
    EXPECT_EQ(uint32_t{ZvPluginTypeSink}, pSink->eType);
    EXPECT_EQ(nullptr, pSink->pReserved1);
    EXPECT_EQ(nullptr, pSink->pReserved2);
    EXPECT_EQ(0u, pSink->uExtra1);
    EXPECT_EQ(0u, pSink->uExtra2);
    EXPECT_EQ(nullptr, library.Find(kZvCompanyId, kZvEffectPluginId));

    // The library's own factory builds a working parameter object in the host's memory.
    ASSERT_NE(nullptr, pSink->pCreateParam);
    EXPECT_EQ(nullptr, pSink->pCreateParam(nullptr)) << "no allocator, no object";
    ZV::IPluginParam* pParams = pSink->pCreateParam(&m_allocator);
    ASSERT_NE(nullptr, pParams);
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
    const uint8_t aBlock[] = {0x00, 0x00, 0x00, 0x3F, 0x03, 0x00, 0x00, 0x00};
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, aBlock, sizeof(aBlock)));
    const uint32_t uLayout = 1;
    EXPECT_EQ(ZV_Success, pParams->SetParameter(1, &uLayout, sizeof(uLayout)));
    EXPECT_EQ(ZV_BadParameter, pParams->SetParameter(2, &uLayout, sizeof(uLayout)));
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
}

// The library's plug-in factory builds the whole engine-side sink: it initialises on the renderer,
// plays its bed objects and terminates cleanly.
TEST_F(SinkLibraryTest, TheLoadedSinkFactoryMakesASinkThatPlays) {
    host::PluginLibrary library;
    ASSERT_TRUE(library.Load(L"ZvSpatialSink.dll")) << library.Error();
    const ZvPluginRegistration* pRecord = library.Find(kZvCompanyId, kZvSinkPluginId);
    ASSERT_NE(nullptr, pRecord);
    ASSERT_NE(nullptr, pRecord->pCreatePlugin);
    EXPECT_EQ(nullptr, pRecord->pCreatePlugin(nullptr));

    ZV::IPluginParam* pParams = pRecord->pCreateParam(&m_allocator);
    ASSERT_NE(nullptr, pParams);
    const uint8_t aBlock[] = {0x00, 0x00, 0x80, 0x3F, 0x01, 0x00, 0x00, 0x00};  // 1.0, six
    ASSERT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, aBlock, sizeof(aBlock)));
    // The registration's kind says the plug-in is a sink.
    auto* pSink = static_cast<ZV::ISinkPlugin*>(pRecord->pCreatePlugin(&m_allocator));
    ASSERT_NE(nullptr, pSink);
    ZvPluginInfo info = {};
    EXPECT_EQ(ZV_Success, pSink->DescribePlugin(info));
    EXPECT_EQ(uint32_t{ZvPluginTypeSink}, info.eType);

    host::HostGlobalContext global(512);
    host::HostSinkContext context(global);
    ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x3)};
    ASSERT_EQ(ZV_Success, pSink->InitPlugin(&m_allocator, &context, pParams, format));
    EXPECT_EQ(0x60Fu, format.channelConfig.uChannelMask);
    standin::CapturePasses(1);
    ASSERT_EQ(1u, standin::Step());
    EXPECT_EQ(6u, standin::TakePasses().at(0).objects.size());

    EXPECT_EQ(ZV_Success, pSink->TermPlugin(&m_allocator));
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
}

}  // namespace
