// The mixer's per-input attachment parameters: BypassLocal's default, its 1-byte block, its one
// id, its four change flags, clones and the allocator checks.

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "HostAllocatorFixture.h"
#include "SpatialMixerFXAttachmentParams.h"

namespace {

constexpr const char* kSource = "SpatialMixerFXAttachmentParams";
constexpr const char* kBlockCheck = "in_ulBlockSize == 0 || eResult != ZV_Success";

class SpatialMixerFXAttachmentParamsTest : public testing_support::HostAllocatorTest {
protected:
    void SetUp() override {
        m_pParams = static_cast<SpatialMixerFXAttachmentParams*>(
            CreateSpatialMixerFXAttachmentParams(&m_allocator));
        ASSERT_NE(nullptr, m_pParams);
    }
    void TearDown() override {
        if (m_pParams != nullptr) {
            EXPECT_EQ(ZV_Success, m_pParams->TermParameters(&m_allocator));
        }
        HostAllocatorTest::TearDown();
    }

    ZvResult SetFloat(uint16_t in_uId, float in_fValue) {
        return m_pParams->SetParameter(in_uId, &in_fValue, sizeof(in_fValue));
    }
    // A heap block of exactly in_block's size, so that a read past its end shows.
    ZvResult SetBlock(const std::vector<uint8_t>& in_block) {
        std::vector<uint8_t> exact(in_block);
        exact.shrink_to_fit();
        return m_pParams->SetParameterBlock(exact.data(), static_cast<uint32_t>(exact.size()));
    }
    bool FlagsZeroToThreeSet() const {
        return m_pParams->HasChanged(0) && m_pParams->HasChanged(1) && m_pParams->HasChanged(2) &&
               m_pParams->HasChanged(3);
    }

    SpatialMixerFXAttachmentParams* m_pParams = nullptr;
};

TEST_F(SpatialMixerFXAttachmentParamsTest, WithoutBlockBypassLocalIsSetAndNoFlagIs) {
    EXPECT_EQ(ZV_Success, m_pParams->InitParameters(&m_allocator, nullptr, 0));
    EXPECT_TRUE(m_pParams->GetBypassLocal());
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(SpatialMixerFXAttachmentParamsTest, OneByteBlockSetsBypassLocalAndEveryFlag) {
    const uint8_t uClear = 0x00;
    EXPECT_EQ(ZV_Success, m_pParams->InitParameters(&m_allocator, &uClear, 1));
    EXPECT_FALSE(m_pParams->GetBypassLocal());
    EXPECT_TRUE(FlagsZeroToThreeSet());

    m_pParams->ClearChangeFlags();
    EXPECT_EQ(ZV_Success, SetBlock({0x40}));
    EXPECT_TRUE(m_pParams->GetBypassLocal());
    EXPECT_TRUE(FlagsZeroToThreeSet());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(SpatialMixerFXAttachmentParamsTest, LongBlockUsesItsFirstByteAndIsReported) {
    EXPECT_EQ(ZV_Success, SetBlock({0x00, 0x01, 0x01}));
    EXPECT_FALSE(m_pParams->GetBypassLocal());
    ASSERT_EQ(1u, m_checks.Reports().size());
    EXPECT_TRUE(m_checks.Saw(kBlockCheck, kSource));
}

TEST_F(SpatialMixerFXAttachmentParamsTest, EmptyBlockKeepsBypassLocalAndIsReported) {
    for (bool bBefore : {true, false}) {
        SCOPED_TRACE(bBefore);
        ASSERT_EQ(ZV_Success, SetBlock({static_cast<uint8_t>(bBefore ? 1 : 0)}));
        m_pParams->ClearChangeFlags();
        m_checks.Clear();

        uint8_t uGuard = bBefore ? 0 : 1;
        EXPECT_EQ(ZV_Success, m_pParams->SetParameterBlock(&uGuard, 0));
        EXPECT_EQ(bBefore, m_pParams->GetBypassLocal());
        EXPECT_TRUE(FlagsZeroToThreeSet());
        EXPECT_TRUE(m_checks.Saw(kBlockCheck, kSource));
    }
}

TEST_F(SpatialMixerFXAttachmentParamsTest, SetParameterZeroClearsAndOtherValuesSet) {
    EXPECT_EQ(ZV_Success, SetFloat(SpatialMixerFXAttachmentParams::kBypassLocalId, 0.0f));
    EXPECT_FALSE(m_pParams->GetBypassLocal());
    EXPECT_TRUE(m_pParams->HasChanged(0));
    EXPECT_FALSE(m_pParams->HasChanged(1));

    EXPECT_EQ(ZV_Success, SetFloat(0, -2.5f));
    EXPECT_TRUE(m_pParams->GetBypassLocal());
    EXPECT_EQ(ZV_Success, SetFloat(0, -0.0f));
    EXPECT_FALSE(m_pParams->GetBypassLocal());
    EXPECT_EQ(ZV_Success, SetFloat(0, 1.0f));
    EXPECT_EQ(ZV_Success, SetFloat(0, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(m_pParams->GetBypassLocal());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(SpatialMixerFXAttachmentParamsTest, UnknownIdsAreRefusedAndFlaggedOnlyUpToThree) {
    for (uint16_t uId : {1, 2, 3}) {
        SCOPED_TRACE(uId);
        m_pParams->ClearChangeFlags();
        m_checks.Clear();
        EXPECT_EQ(ZV_BadParameter, SetFloat(uId, 0.0f));
        EXPECT_TRUE(m_pParams->GetBypassLocal());
        EXPECT_TRUE(m_pParams->HasChanged(uId));
        ASSERT_EQ(1u, m_checks.Reports().size());
        EXPECT_TRUE(m_checks.Saw("!\"Invalid parameter.\"", kSource));
    }

    m_pParams->ClearChangeFlags();
    m_checks.Clear();
    EXPECT_EQ(ZV_BadParameter, SetFloat(4, 0.0f));
    EXPECT_TRUE(m_pParams->GetBypassLocal());
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    EXPECT_TRUE(m_checks.Saw("in_ID <= T_MAXNUMPARAMS", "ZvFXParameterChangeHandler"));

    m_checks.Clear();
    EXPECT_EQ(ZV_BadParameter, m_pParams->SetParameter(0, nullptr, 4));
    EXPECT_TRUE(m_pParams->GetBypassLocal());
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    EXPECT_TRUE(m_checks.Saw("in_pValue != NULL", kSource));
}

TEST_F(SpatialMixerFXAttachmentParamsTest, CloneCopiesBypassLocalAndSetsEveryFlag) {
    ASSERT_EQ(ZV_Success, SetFloat(0, 0.0f));
    m_pParams->ClearChangeFlags();

    auto* pClone =
        static_cast<SpatialMixerFXAttachmentParams*>(m_pParams->CloneParameters(&m_allocator));
    ASSERT_NE(nullptr, pClone);
    EXPECT_FALSE(pClone->GetBypassLocal());
    for (uint16_t uId = 0; uId <= 3; ++uId) {
        EXPECT_TRUE(pClone->HasChanged(uId)) << uId;
    }
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    EXPECT_EQ(ZV_Success, pClone->TermParameters(&m_allocator));

    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, m_pParams->CloneParameters(&m_allocator));
    EXPECT_EQ(nullptr, m_pParams->CloneParameters(nullptr));
    EXPECT_EQ(ZV_BadParameter, m_pParams->TermParameters(nullptr));
    EXPECT_EQ(2u, m_checks.Reports().size());
    EXPECT_TRUE(m_checks.Saw("in_pAllocator != NULL", kSource));
}

TEST(SpatialMixerFXAttachmentParamsCreateTest, CreateChecksItsAllocator) {
    testing_support::AssertRecorder checks;
    EXPECT_EQ(nullptr, CreateSpatialMixerFXAttachmentParams(nullptr));
    EXPECT_TRUE(checks.Saw("in_pAllocator != NULL", kSource));

    host::HostAllocator allocator;
    allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, CreateSpatialMixerFXAttachmentParams(&allocator));
    EXPECT_EQ(0u, allocator.OutstandingBlocks());
}

}  // namespace
