// The mixer's parameter object: creation, defaults, the 5-byte block (full, empty, short, long,
// unaligned), SetParameter for every id, change flags, clones and the allocator checks.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "HostAllocatorFixture.h"
#include "SpatialMixerFXParams.h"

namespace {

constexpr const char* kSource = "SpatialMixerFXParams";
constexpr const char* kBlockCheck = "in_ulBlockSize == 0 || eResult != ZV_Success";

class SpatialMixerFXParamsTest : public testing_support::HostAllocatorTest {
protected:
    void SetUp() override {
        m_pParams = static_cast<SpatialMixerFXParams*>(CreateSpatialMixerFXParams(&m_allocator));
        ASSERT_NE(nullptr, m_pParams);
    }
    void TearDown() override {
        if (m_pParams != nullptr) {
            EXPECT_EQ(ZV_Success, m_pParams->TermParameters(&m_allocator));
        }
        HostAllocatorTest::TearDown();
    }

    // Initialises from a copy of in_block in a heap block of exactly its size, so that a read
    // past its end shows under AddressSanitizer.
    ZvResult InitFrom(const std::vector<uint8_t>& in_block) {
        std::vector<uint8_t> exact(in_block);
        exact.shrink_to_fit();
        return m_pParams->InitParameters(&m_allocator, exact.empty() ? nullptr : exact.data(),
                                         static_cast<uint32_t>(exact.size()));
    }
    ZvResult SetBlock(const std::vector<uint8_t>& in_block) {
        std::vector<uint8_t> exact(in_block);
        exact.shrink_to_fit();
        return m_pParams->SetParameterBlock(exact.empty() ? nullptr : exact.data(),
                                            static_cast<uint32_t>(exact.size()));
    }
    ZvResult SetFloat(uint16_t in_uId, float in_fValue) {
        return m_pParams->SetParameter(in_uId, &in_fValue, sizeof(in_fValue));
    }
    ZvResult SetInt(uint16_t in_uId, int32_t in_iValue) {
        return m_pParams->SetParameter(in_uId, &in_iValue, sizeof(in_iValue));
    }
    bool Bypass() const { return m_pParams->GetValues().bBypass; }
    int32_t MaxObjects() const { return m_pParams->GetValues().iMaxObjects; }
    bool AllFlagsSet() const {
        for (uint16_t uId = 0; uId <= 7; ++uId) {
            if (!m_pParams->HasChanged(uId)) {
                return false;
            }
        }
        return true;
    }

    SpatialMixerFXParams* m_pParams = nullptr;
};

TEST_F(SpatialMixerFXParamsTest, CreatedWithoutBlockHasDefaultsAndNoChangeFlag) {
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    EXPECT_EQ(ZV_Success, InitFrom({}));
    EXPECT_FALSE(Bypass());
    EXPECT_EQ(32, MaxObjects());
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(SpatialMixerFXParamsTest, FullBlockSetsBothFieldsAndEveryFlag) {
    EXPECT_EQ(ZV_Success, InitFrom({0x01, 0x08, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(Bypass());
    EXPECT_EQ(8, MaxObjects());
    EXPECT_TRUE(AllFlagsSet());
    EXPECT_TRUE(m_checks.Reports().empty());

    // Any non-zero byte is true; MaxObjects is little-endian and signed.
    m_pParams->ClearChangeFlags();
    EXPECT_EQ(ZV_Success, SetBlock({0x80, 0x04, 0x03, 0x02, 0x81}));
    EXPECT_TRUE(Bypass());
    EXPECT_EQ(static_cast<int32_t>(0x81020304u), MaxObjects());
    EXPECT_TRUE(AllFlagsSet());
    EXPECT_EQ(ZV_Success, SetBlock({0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(Bypass());
    EXPECT_EQ(-1, MaxObjects());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(SpatialMixerFXParamsTest, BlockAtAnOddAddressIsRead) {
    alignas(8) uint8_t aBuffer[8] = {0xEE, 0x01, 0x10, 0x00, 0x00, 0x00, 0xEE, 0xEE};
    EXPECT_EQ(ZV_Success, m_pParams->SetParameterBlock(aBuffer + 1, 5));
    EXPECT_TRUE(Bypass());
    EXPECT_EQ(16, MaxObjects());
}

TEST_F(SpatialMixerFXParamsTest, LongBlockUsesItsFirstFiveBytesAndIsReported) {
    EXPECT_EQ(ZV_Success, InitFrom({0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x07}));
    EXPECT_FALSE(Bypass());
    EXPECT_EQ(3, MaxObjects());
    EXPECT_TRUE(AllFlagsSet());
    ASSERT_EQ(1u, m_checks.Reports().size());
    EXPECT_TRUE(m_checks.Saw(kBlockCheck, kSource));
}

TEST_F(SpatialMixerFXParamsTest, ShortBlockSetsOnlyWholeFieldsKeepsTheRestAndIsReported) {
    for (uint32_t uSize = 1; uSize < 5; ++uSize) {
        SCOPED_TRACE(uSize);
        ASSERT_EQ(ZV_Success, SetBlock({0x00, 0x05, 0x00, 0x00, 0x00}));
        m_pParams->ClearChangeFlags();
        m_checks.Clear();

        std::vector<uint8_t> block = {0x01, 0x09, 0x09, 0x09};
        block.resize(uSize);
        EXPECT_EQ(ZV_Success, SetBlock(block));
        EXPECT_TRUE(Bypass());
        EXPECT_EQ(5, MaxObjects());
        EXPECT_TRUE(AllFlagsSet());
        EXPECT_TRUE(m_checks.Saw(kBlockCheck, kSource));
    }
}

TEST_F(SpatialMixerFXParamsTest, ShortBlockAtInitialisationLeavesTheDefaultForWhatItLacks) {
    EXPECT_EQ(ZV_Success, InitFrom({0x01, 0x02}));
    EXPECT_TRUE(Bypass());
    EXPECT_EQ(32, MaxObjects());
    EXPECT_TRUE(m_checks.Saw(kBlockCheck, kSource));
}

TEST_F(SpatialMixerFXParamsTest, EmptyOrMissingBlockReadsNothingAndIsReported) {
    ASSERT_EQ(ZV_Success, SetBlock({0x01, 0x07, 0x00, 0x00, 0x00}));
    m_checks.Clear();

    uint8_t uGuard = 0x00;
    EXPECT_EQ(ZV_Success, m_pParams->SetParameterBlock(&uGuard, 0));
    EXPECT_TRUE(Bypass());
    EXPECT_EQ(7, MaxObjects());
    EXPECT_TRUE(m_checks.Saw(kBlockCheck, kSource));

    m_checks.Clear();
    EXPECT_EQ(ZV_Success, m_pParams->SetParameterBlock(nullptr, 5));
    EXPECT_EQ(ZV_Success, m_pParams->InitParameters(&m_allocator, nullptr, 5));
    EXPECT_TRUE(Bypass());
    EXPECT_EQ(7, MaxObjects());
    EXPECT_EQ(2u, m_checks.Reports().size());
}

TEST_F(SpatialMixerFXParamsTest, BypassIsAnyFloatButZeroAndNaN) {
    struct Case {
        float fValue;
        bool bExpected;
    };
    const Case aCases[] = {
        {0.5f, true},
        {-0.0f, false},
        {1.0f, true},
        {0.0f, false},
        {-1.0f, true},
        {std::numeric_limits<float>::quiet_NaN(), false},
        {std::numeric_limits<float>::infinity(), true},
        {-std::numeric_limits<float>::quiet_NaN(), false},
        {std::numeric_limits<float>::denorm_min(), true},
    };
    for (const Case& testCase : aCases) {
        SCOPED_TRACE(testCase.fValue);
        EXPECT_EQ(ZV_Success, SetFloat(SpatialMixerFXParams::kBypassId, testCase.fValue));
        EXPECT_EQ(testCase.bExpected, Bypass());
    }
    EXPECT_EQ(32, MaxObjects());
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(SpatialMixerFXParamsTest, MaxObjectsTakesTheFourBytesAsSignedInteger) {
    EXPECT_EQ(ZV_Success, SetInt(SpatialMixerFXParams::kMaxObjectsId, 8));
    EXPECT_EQ(8, MaxObjects());
    EXPECT_EQ(ZV_Success, SetInt(SpatialMixerFXParams::kMaxObjectsId, -3));
    EXPECT_EQ(-3, MaxObjects());

    // Unaligned value, and bits that happen to be a float: taken as an integer, not converted.
    alignas(8) uint8_t aBuffer[8] = {};
    const float fTwelve = 12.0f;
    std::memcpy(aBuffer + 3, &fTwelve, sizeof(fTwelve));
    EXPECT_EQ(ZV_Success,
              m_pParams->SetParameter(SpatialMixerFXParams::kMaxObjectsId, aBuffer + 3, 4));
    int32_t iBits;
    std::memcpy(&iBits, &fTwelve, sizeof(iBits));
    EXPECT_EQ(iBits, MaxObjects());
    EXPECT_FALSE(Bypass());
}

TEST_F(SpatialMixerFXParamsTest, EachIdMarksOnlyItsOwnFlag) {
    EXPECT_EQ(ZV_Success, SetFloat(SpatialMixerFXParams::kBypassId, 1.0f));
    EXPECT_TRUE(m_pParams->HasChanged(0));
    for (uint16_t uId = 1; uId <= 7; ++uId) {
        EXPECT_FALSE(m_pParams->HasChanged(uId)) << uId;
    }
    m_pParams->ClearChangeFlags();
    EXPECT_FALSE(m_pParams->HasAnyChanged());

    EXPECT_EQ(ZV_Success, SetInt(SpatialMixerFXParams::kMaxObjectsId, 4));
    EXPECT_TRUE(m_pParams->HasChanged(6));
    EXPECT_FALSE(m_pParams->HasChanged(0));
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(SpatialMixerFXParamsTest, UnknownIdIsRefusedChangesNoValueButMarksItsFlag) {
    ASSERT_EQ(ZV_Success, SetBlock({0x01, 0x09, 0x00, 0x00, 0x00}));
    for (uint16_t uId : {1, 2, 3, 4, 5, 7}) {
        SCOPED_TRACE(uId);
        m_pParams->ClearChangeFlags();
        m_checks.Clear();
        EXPECT_EQ(ZV_BadParameter, SetFloat(uId, 0.0f));
        EXPECT_TRUE(Bypass());
        EXPECT_EQ(9, MaxObjects());
        EXPECT_TRUE(m_pParams->HasChanged(uId));
        EXPECT_FALSE(m_pParams->HasChanged(0));
        ASSERT_EQ(1u, m_checks.Reports().size());
        EXPECT_TRUE(m_checks.Saw("!\"Invalid parameter.\"", kSource));
    }
}

TEST_F(SpatialMixerFXParamsTest, IdBeyondTheFlagsIsRefusedAndMarksNothing) {
    for (uint16_t uId : {8, 255, 65535}) {
        SCOPED_TRACE(uId);
        m_checks.Clear();
        EXPECT_EQ(ZV_BadParameter, SetFloat(uId, 1.0f));
        EXPECT_FALSE(m_pParams->HasAnyChanged());
        EXPECT_TRUE(m_checks.Saw("!\"Invalid parameter.\"", kSource));
        EXPECT_TRUE(m_checks.Saw("in_ID <= T_MAXNUMPARAMS", "ZvFXParameterChangeHandler"));
    }
}

TEST_F(SpatialMixerFXParamsTest, MissingValueIsRefusedAndChangesNothing) {
    EXPECT_EQ(ZV_BadParameter,
              m_pParams->SetParameter(SpatialMixerFXParams::kBypassId, nullptr, 4));
    EXPECT_EQ(ZV_BadParameter,
              m_pParams->SetParameter(SpatialMixerFXParams::kMaxObjectsId, nullptr, 4));
    EXPECT_FALSE(Bypass());
    EXPECT_EQ(32, MaxObjects());
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    ASSERT_EQ(2u, m_checks.Reports().size());
    EXPECT_TRUE(m_checks.Saw("in_pValue != NULL", kSource));
}

TEST_F(SpatialMixerFXParamsTest, CloneCopiesValuesSetsEveryFlagAndLivesOnItsOwn) {
    ASSERT_EQ(ZV_Success, SetBlock({0x01, 0x0B, 0x00, 0x00, 0x00}));
    m_pParams->ClearChangeFlags();

    auto* pClone = static_cast<SpatialMixerFXParams*>(m_pParams->CloneParameters(&m_allocator));
    ASSERT_NE(nullptr, pClone);
    EXPECT_NE(m_pParams, pClone);
    EXPECT_EQ(2u, m_allocator.OutstandingBlocks());
    EXPECT_TRUE(pClone->GetValues().bBypass);
    EXPECT_EQ(11, pClone->GetValues().iMaxObjects);
    for (uint16_t uId = 0; uId <= 7; ++uId) {
        EXPECT_TRUE(pClone->HasChanged(uId)) << uId;
    }
    EXPECT_FALSE(m_pParams->HasAnyChanged());

    const int32_t iTwo = 2;
    EXPECT_EQ(ZV_Success, pClone->SetParameter(SpatialMixerFXParams::kMaxObjectsId, &iTwo, 4));
    EXPECT_EQ(11, MaxObjects());
    EXPECT_EQ(ZV_Success, pClone->TermParameters(&m_allocator));
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
}

TEST_F(SpatialMixerFXParamsTest, CloneFailsCleanlyWithoutMemoryOrAllocator) {
    m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, m_pParams->CloneParameters(&m_allocator));
    EXPECT_TRUE(m_checks.Reports().empty());

    EXPECT_EQ(nullptr, m_pParams->CloneParameters(nullptr));
    EXPECT_TRUE(m_checks.Saw("in_pAllocator != NULL", kSource));
    EXPECT_EQ(1u, m_allocator.OutstandingBlocks());
}

TEST_F(SpatialMixerFXParamsTest, TermWithoutAllocatorIsRefusedAndLeavesTheObjectUsable) {
    EXPECT_EQ(ZV_BadParameter, m_pParams->TermParameters(nullptr));
    EXPECT_TRUE(m_checks.Saw("in_pAllocator != NULL", kSource));
    EXPECT_EQ(ZV_Success, SetInt(SpatialMixerFXParams::kMaxObjectsId, 3));
    EXPECT_EQ(3, MaxObjects());
}

TEST_F(SpatialMixerFXParamsTest, InitWithoutAllocatorIsReportedAndStillInitialises) {
    const uint8_t aBlock[5] = {0x01, 0x02, 0x00, 0x00, 0x00};
    EXPECT_EQ(ZV_Success, m_pParams->InitParameters(nullptr, aBlock, sizeof(aBlock)));
    EXPECT_TRUE(m_checks.Saw("in_pAllocator != NULL", kSource));
    EXPECT_EQ(2, MaxObjects());
}

TEST(SpatialMixerFXParamsCreateTest, CreateChecksItsAllocatorAndSurvivesNoMemory) {
    testing_support::AssertRecorder checks;
    EXPECT_EQ(nullptr, CreateSpatialMixerFXParams(nullptr));
    ASSERT_EQ(1u, checks.Reports().size());
    EXPECT_TRUE(checks.Saw("in_pAllocator != NULL", kSource));

    host::HostAllocator allocator;
    allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, CreateSpatialMixerFXParams(&allocator));
    EXPECT_EQ(0u, allocator.OutstandingBlocks());
}

}  // namespace
