// The ZvSpatialSink library as the host engine meets it: loaded by its Windows name, it exports its
// registration list and nothing else, and the list leads to the sink's parameter factory.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ElfExports.h"
#include "HostAllocatorTest.h"
#include "PluginLibrary.h"
#include "ZvResult.h"

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

}  // namespace
