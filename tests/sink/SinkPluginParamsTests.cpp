// The sink's parameter object: its factory, its bank block (full, empty, short, long), single
// changes, copies and termination, and the reports each of them makes.

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "AssertRecorder.h"
#include "HostAllocatorTest.h"
#include "SinkPluginParams.h"

namespace {

using testing_support::CheckReport;

class SinkPluginParamsTest : public testing_support::HostAllocatorTest {
protected:
    // A parameter object made by the registered factory, as the host makes it.
    SinkPluginParams* Create() {
        ZV::IPluginParam* pParams = CreateSinkPluginParams(&m_allocator);
        EXPECT_NE(nullptr, pParams);
        return static_cast<SinkPluginParams*>(pParams);
    }

    // Exactly one report, with this expression and source and a line.
    void ExpectOneReport(const char* in_pszExpression, const char* in_pszSource) {
        const std::vector<CheckReport> reports = m_recorder.Reports();
        ASSERT_EQ(1u, reports.size());
        EXPECT_EQ(in_pszExpression, reports[0].expression);
        EXPECT_EQ(in_pszSource, reports[0].source);
        EXPECT_GT(reports[0].line, 0);
        m_recorder.Clear();
    }

    testing_support::AssertRecorder m_recorder;
};

// A block of exactly in_bytes in its own heap allocation: a read past its end is caught by the
// address sanitizer.
std::vector<uint8_t> Block(std::initializer_list<uint8_t> in_bytes) {
    return std::vector<uint8_t>(in_bytes);
}

std::vector<uint8_t> GainBlock(float in_fGain, uint32_t in_uChannelConfig) {
    std::vector<uint8_t> block(8);
    memcpy(block.data(), &in_fGain, 4);
    memcpy(block.data() + 4, &in_uChannelConfig, 4);
    return block;
}

constexpr const char* kBlockSizeReport = "in_ulBlockSize == 0 || eResult != ZV_Success";
constexpr const char* kGainReport = "std::isfinite(in_fDirectGain)";

TEST_F(SinkPluginParamsTest, TheFactoryNeedsAnAllocatorAndGivesDefaults) {
    EXPECT_EQ(nullptr, CreateSinkPluginParams(nullptr));
    ExpectOneReport("in_pAllocator != NULL", "ZvSinkISAC");

    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, CreateSinkPluginParams(&m_allocator));
    EXPECT_TRUE(m_recorder.Reports().empty());

    // The host fills fresh memory with a pattern: no field may be left to it.
    SinkPluginParams* pParams = Create();
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
    EXPECT_EQ(1.0f, pParams->GetDirectGain());
    EXPECT_EQ(0u, pParams->GetChannelConfig());
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
}

TEST_F(SinkPluginParamsTest, TheFieldsFollowTheInterfacePointerInTheirPublishedOrder) {
    SinkPluginParams* pParams = Create();
    const std::vector<uint8_t> block = GainBlock(0.75f, 2);
    pParams->InitParameters(&m_allocator, block.data(), 8);
    const uint8_t* pFields = reinterpret_cast<const uint8_t*>(pParams) + sizeof(void*);
    EXPECT_EQ(0, memcmp(pFields, block.data(), 8));
    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, AnEmptyBlockGivesStereoAtUnityGain) {
    SinkPluginParams* pParams = Create();
    const std::vector<uint8_t> block = GainBlock(0.5f, 3);
    pParams->SetParameterBlock(block.data(), 8);
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, nullptr, 0));
    EXPECT_EQ(1.0f, pParams->GetDirectGain());
    EXPECT_EQ(0u, pParams->GetChannelConfig());
    EXPECT_TRUE(m_recorder.Reports().empty());
    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, AFullBlockSetsBothFields) {
    SinkPluginParams* pParams = Create();
    const std::vector<uint8_t> block = Block({0x00, 0x00, 0x00, 0x3F, 0x03, 0x00, 0x00, 0x00});
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, block.data(), 8));
    EXPECT_EQ(0.5f, pParams->GetDirectGain());
    EXPECT_EQ(3u, pParams->GetChannelConfig());
    EXPECT_TRUE(m_recorder.Reports().empty());
    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, ALongBlockUsesItsFirstEightBytesAndIsReported) {
    SinkPluginParams* pParams = Create();
    const std::vector<uint8_t> block =
        Block({0x00, 0x00, 0x80, 0x3E, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, block.data(), 12));
    EXPECT_EQ(0.25f, pParams->GetDirectGain());
    EXPECT_EQ(1u, pParams->GetChannelConfig());
    ExpectOneReport(kBlockSizeReport, "SinkPluginParams");
    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, AShortBlockSetsOnlyTheFieldsItCoversAndIsReported) {
    SinkPluginParams* pParams = Create();

    // Six bytes: the gain, and half a layout that is not read.
    const std::vector<uint8_t> six = Block({0x00, 0x00, 0x00, 0x3F, 0x03, 0x00});
    EXPECT_EQ(ZV_Success, pParams->InitParameters(&m_allocator, six.data(), 6));
    EXPECT_EQ(0.5f, pParams->GetDirectGain());
    EXPECT_EQ(0u, pParams->GetChannelConfig());
    ExpectOneReport(kBlockSizeReport, "SinkPluginParams");

    // Exactly the gain: still a block without its layout.
    const std::vector<uint8_t> four = Block({0x00, 0x00, 0x80, 0x3E});
    EXPECT_EQ(ZV_Success, pParams->SetParameterBlock(four.data(), 4));
    EXPECT_EQ(0.25f, pParams->GetDirectGain());
    ExpectOneReport(kBlockSizeReport, "SinkPluginParams");

    // Three bytes: nothing whole, nothing changes.
    const std::vector<uint8_t> three = Block({0x00, 0x00, 0x00});
    EXPECT_EQ(ZV_Success, pParams->SetParameterBlock(three.data(), 3));
    EXPECT_EQ(0.25f, pParams->GetDirectGain());
    ExpectOneReport(kBlockSizeReport, "SinkPluginParams");

    // A missing block is read as an empty one.
    EXPECT_EQ(ZV_Success, pParams->SetParameterBlock(nullptr, 8));
    EXPECT_EQ(0.25f, pParams->GetDirectGain());
    ExpectOneReport(kBlockSizeReport, "SinkPluginParams");
    EXPECT_EQ(ZV_Success, pParams->SetParameterBlock(nullptr, 0));
    ExpectOneReport(kBlockSizeReport, "SinkPluginParams");

    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, ANonFiniteGainNeverGetsThrough) {
    SinkPluginParams* pParams = Create();
    const float afBad[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()};
    for (const float fBad : afBad) {
        const std::vector<uint8_t> block = GainBlock(fBad, 2);
        EXPECT_EQ(ZV_Success, pParams->SetParameterBlock(block.data(), 8));
        EXPECT_EQ(0.0f, pParams->GetDirectGain());
        EXPECT_EQ(2u, pParams->GetChannelConfig()) << "the rest of the block still counts";
        ExpectOneReport(kGainReport, "SinkPluginParams");

        const float fGood = 0.5f;
        pParams->SetParameter(SinkParamId_DirectGain, &fGood, sizeof(fGood));
        EXPECT_EQ(ZV_Success, pParams->SetParameter(SinkParamId_DirectGain, &fBad, sizeof(fBad)));
        EXPECT_EQ(0.0f, pParams->GetDirectGain());
        ExpectOneReport(kGainReport, "SinkPluginParams");
    }
    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, SingleChangesByIdAndTheirFailures) {
    SinkPluginParams* pParams = Create();
    const float fGain = 0.25f;
    EXPECT_EQ(ZV_Success, pParams->SetParameter(SinkParamId_DirectGain, &fGain, sizeof(fGain)));
    EXPECT_EQ(0.25f, pParams->GetDirectGain());
    EXPECT_EQ(0u, pParams->GetChannelConfig());
    const uint32_t uLayout = 2;
    EXPECT_EQ(ZV_Success,
              pParams->SetParameter(SinkParamId_ChannelConfig, &uLayout, sizeof(uLayout)));
    EXPECT_EQ(2u, pParams->GetChannelConfig());
    EXPECT_EQ(0.25f, pParams->GetDirectGain());
    EXPECT_TRUE(m_recorder.Reports().empty());

    const uint32_t uOther = 7;
    EXPECT_EQ(ZV_BadParameter, pParams->SetParameter(2, &uOther, sizeof(uOther)));
    ExpectOneReport("!\"Invalid parameter.\"", "SinkPluginParams");
    EXPECT_EQ(ZV_BadParameter, pParams->SetParameter(0xFFFF, &uOther, sizeof(uOther)));
    ExpectOneReport("!\"Invalid parameter.\"", "SinkPluginParams");

    EXPECT_EQ(ZV_BadParameter, pParams->SetParameter(SinkParamId_DirectGain, nullptr, 4));
    ExpectOneReport("in_pValue != NULL", "SinkPluginParams");
    EXPECT_EQ(ZV_BadParameter, pParams->SetParameter(SinkParamId_ChannelConfig, nullptr, 4));
    ExpectOneReport("in_pValue != NULL", "SinkPluginParams");

    // A value shorter than its field, in a heap block of exactly its size: not read at all.
    for (uint32_t uSize = 0; uSize < 4; ++uSize) {
        SCOPED_TRACE(uSize);
        std::unique_ptr<uint8_t[]> value(new uint8_t[uSize + 1]);
        memset(value.get(), 0x3F, uSize + 1);
        for (uint16_t uId :
             {uint16_t{SinkParamId_DirectGain}, uint16_t{SinkParamId_ChannelConfig}}) {
            EXPECT_EQ(ZV_BadParameter, pParams->SetParameter(uId, value.get() + 1, uSize));
            ExpectOneReport("in_uParamSize >= 4", "SinkPluginParams");
        }
    }
    // A longer one is read as far as the field goes.
    const uint32_t auLonger[2] = {1, 0xFFFFFFFF};
    EXPECT_EQ(ZV_Success, pParams->SetParameter(SinkParamId_ChannelConfig, auLonger, 8));
    EXPECT_EQ(1u, pParams->GetChannelConfig());

    EXPECT_EQ(0.25f, pParams->GetDirectGain()) << "refused changes change nothing";
    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, ACloneIsAnIndependentCopyInHostMemory) {
    SinkPluginParams* pParams = Create();
    const float fGain = 0.25f;
    pParams->SetParameter(SinkParamId_DirectGain, &fGain, sizeof(fGain));
    const uint32_t uLayout = 3;
    pParams->SetParameter(SinkParamId_ChannelConfig, &uLayout, sizeof(uLayout));

    SinkPluginParams* pClone =
        static_cast<SinkPluginParams*>(pParams->CloneParameters(&m_allocator));
    ASSERT_NE(nullptr, pClone);
    EXPECT_EQ(2u, m_allocator.OutstandingBlocks());
    EXPECT_EQ(0.25f, pClone->GetDirectGain());
    EXPECT_EQ(3u, pClone->GetChannelConfig());
    const float fOther = 0.75f;
    pParams->SetParameter(SinkParamId_DirectGain, &fOther, sizeof(fOther));
    EXPECT_EQ(0.25f, pClone->GetDirectGain());

    EXPECT_EQ(ZV_Success, pClone->TermParameters(&m_allocator));
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());

    EXPECT_EQ(nullptr, pParams->CloneParameters(nullptr));
    ExpectOneReport("in_pAllocator != NULL", "SinkPluginParams");
    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, pParams->CloneParameters(&m_allocator));
    EXPECT_TRUE(m_recorder.Reports().empty());
    pParams->TermParameters(&m_allocator);
}

TEST_F(SinkPluginParamsTest, TerminationWithoutAnAllocatorFreesNothing) {
    SinkPluginParams* pParams = Create();
    EXPECT_EQ(ZV_Success, pParams->TermParameters(nullptr));
    ExpectOneReport("in_pAllocator != NULL", "SinkPluginParams");
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
    EXPECT_EQ(1.0f, pParams->GetDirectGain()) << "the object is still whole";
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&m_allocator));
}

}  // namespace
