// The mixer's two parameter objects. What they share (block size checks without reading past the
// end, float flags, unknown ids, change flags, clones, allocator checks) runs as typed tests over
// both; each one's own values follow.

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "HostAllocatorTest.h"
#include "SpatialMixerFXAttachmentParams.h"
#include "SpatialMixerFXParams.h"

namespace {

constexpr const char* kBlockCheck = "in_ulBlockSize == 0 || eResult != ZV_Success";
constexpr const char* kInvalidCheck = "!\"Invalid parameter.\"";

// What the typed tests need to know of each class. Id 0 is a float flag in both.
struct MixerTraits {
    using Params = SpatialMixerFXParams;
    static constexpr const char* kSource = "SpatialMixerFXParams";
    static constexpr uint16_t kMaxId = 7;
    static constexpr uint32_t kBlockSize = 5;
    static ZV::IPluginParam* Create(ZV::IPluginMemAlloc* in_pAllocator) {
        return CreateSpatialMixerFXParams(in_pAllocator);
    }
    static bool IsKnownId(uint16_t in_uId) { return in_uId == 0 || in_uId == 6; }
    static bool Flag(const Params& in_params) { return in_params.GetValues().bBypass; }
};

struct AttachmentTraits {
    using Params = SpatialMixerFXAttachmentParams;
    static constexpr const char* kSource = "SpatialMixerFXAttachmentParams";
    static constexpr uint16_t kMaxId = 3;
    static constexpr uint32_t kBlockSize = 1;
    static ZV::IPluginParam* Create(ZV::IPluginMemAlloc* in_pAllocator) {
        return CreateSpatialMixerFXAttachmentParams(in_pAllocator);
    }
    static bool IsKnownId(uint16_t in_uId) { return in_uId == 0; }
    static bool Flag(const Params& in_params) { return in_params.GetBypassLocal(); }
};

template <typename Traits>
class MixerParamObjectTest : public testing_support::HostAllocatorTest {
protected:
    using Params = typename Traits::Params;

    void SetUp() override {
        m_pParams = static_cast<Params*>(Traits::Create(&m_allocator));
        ASSERT_NE(nullptr, m_pParams);
    }
    void TearDown() override {
        if (m_pParams != nullptr) {
            EXPECT_EQ(ZV_Success, m_pParams->TermParameters(&m_allocator));
        }
        HostAllocatorTest::TearDown();
    }

    // The block is copied into a heap block of exactly its size, so that a read past its end
    // shows under AddressSanitizer.
    ZvResult SetBlock(std::vector<uint8_t> in_block) {
        in_block.shrink_to_fit();
        return m_pParams->SetParameterBlock(in_block.empty() ? nullptr : in_block.data(),
                                            static_cast<uint32_t>(in_block.size()));
    }
    ZvResult SetFloat(uint16_t in_uId, float in_fValue) {
        return m_pParams->SetParameter(in_uId, &in_fValue, sizeof(in_fValue));
    }
    bool Flag() const { return Traits::Flag(*m_pParams); }
    static bool AllFlagsSet(const Params& in_params) {
        for (uint16_t uId = 0; uId <= Traits::kMaxId; ++uId) {
            if (!in_params.HasChanged(uId)) {
                return false;
            }
        }
        return true;
    }

    Params* m_pParams = nullptr;
};

using ParamObjectTypes = ::testing::Types<MixerTraits, AttachmentTraits>;
TYPED_TEST_SUITE(MixerParamObjectTest, ParamObjectTypes);

TYPED_TEST(MixerParamObjectTest, BlockOfAnotherSizeIsReportedAndNeverReadPastItsEnd) {
    for (uint32_t uSize = 0; uSize <= TypeParam::kBlockSize + 2; ++uSize) {
        SCOPED_TRACE(uSize);
        ASSERT_EQ(ZV_Success, this->SetFloat(0, 0.0f));
        this->m_pParams->ClearChangeFlags();
        this->m_checks.Clear();

        // Every byte 1: whatever the block covers sets the flag; an empty block keeps it clear.
        EXPECT_EQ(ZV_Success, this->SetBlock(std::vector<uint8_t>(uSize, 0x01)));
        EXPECT_EQ(uSize != 0, this->Flag());
        EXPECT_TRUE(this->AllFlagsSet(*this->m_pParams));
        EXPECT_EQ(uSize != TypeParam::kBlockSize,
                  this->m_checks.Saw(kBlockCheck, TypeParam::kSource));
    }
    // A missing block with a size is an empty one.
    this->m_checks.Clear();
    EXPECT_EQ(ZV_Success, this->m_pParams->SetParameterBlock(nullptr, TypeParam::kBlockSize));
    EXPECT_EQ(ZV_Success,
              this->m_pParams->InitParameters(&this->m_allocator, nullptr, TypeParam::kBlockSize));
    EXPECT_TRUE(this->Flag());
    EXPECT_EQ(2u, this->m_checks.Reports().size());
}

TYPED_TEST(MixerParamObjectTest, FloatFlagIsAnyValueButZeroAndNaN) {
    struct Case {
        float fValue;
        bool bExpected;
    };
    const Case aCases[] = {
        {0.5f, true},
        {-0.0f, false},
        {-1.0f, true},
        {0.0f, false},
        {std::numeric_limits<float>::infinity(), true},
        {std::numeric_limits<float>::quiet_NaN(), false},
        {std::numeric_limits<float>::denorm_min(), true},
        {-std::numeric_limits<float>::quiet_NaN(), false},
    };
    for (const Case& testCase : aCases) {
        SCOPED_TRACE(testCase.fValue);
        this->m_pParams->ClearChangeFlags();
        EXPECT_EQ(ZV_Success, this->SetFloat(0, testCase.fValue));
        EXPECT_EQ(testCase.bExpected, this->Flag());
        EXPECT_TRUE(this->m_pParams->HasChanged(0));
        EXPECT_FALSE(this->m_pParams->HasChanged(1));
    }
    EXPECT_TRUE(this->m_checks.Reports().empty());
}

TYPED_TEST(MixerParamObjectTest, UnknownIdIsRefusedAndMarkedOnlyWhenItHasAFlag) {
    const bool bBefore = this->Flag();
    for (uint16_t uId : {1, 2, 3, 4, 5, 6, 7, 8, 9, 255, 256, 65535}) {
        if (TypeParam::IsKnownId(uId)) {
            continue;
        }
        SCOPED_TRACE(uId);
        this->m_pParams->ClearChangeFlags();
        this->m_checks.Clear();
        EXPECT_EQ(ZV_BadParameter, this->SetFloat(uId, 0.0f));
        EXPECT_EQ(bBefore, this->Flag());
        EXPECT_TRUE(this->m_checks.Saw(kInvalidCheck, TypeParam::kSource));
        const bool bHasFlag = uId <= TypeParam::kMaxId;
        EXPECT_EQ(bHasFlag, this->m_pParams->HasAnyChanged());
        EXPECT_EQ(!bHasFlag,
                  this->m_checks.Saw("in_ID <= T_MAXNUMPARAMS", "ZvFXParameterChangeHandler"));
    }
}

TYPED_TEST(MixerParamObjectTest, MissingValueIsRefusedAndChangesNothing) {
    const bool bBefore = this->Flag();
    EXPECT_EQ(ZV_BadParameter, this->m_pParams->SetParameter(0, nullptr, 4));
    EXPECT_EQ(bBefore, this->Flag());
    EXPECT_FALSE(this->m_pParams->HasAnyChanged());
    ASSERT_EQ(1u, this->m_checks.Reports().size());
    EXPECT_TRUE(this->m_checks.Saw("in_pValue != NULL", TypeParam::kSource));
}

TYPED_TEST(MixerParamObjectTest, CloneCopiesTheValuesSetsEveryFlagAndLivesOnItsOwn) {
    ASSERT_EQ(ZV_Success, this->SetFloat(0, 1.0f));
    this->m_pParams->ClearChangeFlags();

    auto* pClone = static_cast<typename TypeParam::Params*>(
        this->m_pParams->CloneParameters(&this->m_allocator));
    ASSERT_NE(nullptr, pClone);
    EXPECT_TRUE(TypeParam::Flag(*pClone));
    EXPECT_TRUE(this->AllFlagsSet(*pClone));
    EXPECT_FALSE(this->m_pParams->HasAnyChanged());

    const float fOff = 0.0f;
    EXPECT_EQ(ZV_Success, pClone->SetParameter(0, &fOff, 4));
    EXPECT_TRUE(this->Flag());
    EXPECT_EQ(ZV_Success, pClone->TermParameters(&this->m_allocator));
    EXPECT_TRUE(this->m_checks.Reports().empty());
}

TYPED_TEST(MixerParamObjectTest, AllocatorIsCheckedEverywhereAndNoMemoryIsSurvived) {
    this->m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, this->m_pParams->CloneParameters(&this->m_allocator));
    this->m_allocator.FailAllocation(1);
    EXPECT_EQ(nullptr, TypeParam::Create(&this->m_allocator));
    EXPECT_TRUE(this->m_checks.Reports().empty());

    EXPECT_EQ(nullptr, TypeParam::Create(nullptr));
    EXPECT_EQ(nullptr, this->m_pParams->CloneParameters(nullptr));
    // Without the allocator Term cannot free the object: it reports, answers success as the
    // sink's parameters do, and the object stays whole and usable.
    EXPECT_EQ(ZV_Success, this->m_pParams->TermParameters(nullptr));
    EXPECT_EQ(ZV_Success, this->m_pParams->InitParameters(nullptr, nullptr, 0));
    EXPECT_EQ(ZV_Success, this->SetFloat(0, 1.0f));
    const auto reports = this->m_checks.Reports();
    ASSERT_EQ(4u, reports.size());
    for (const auto& report : reports) {
        EXPECT_EQ("in_pAllocator != NULL", report.expression);
        EXPECT_EQ(TypeParam::kSource, report.source);
    }
    EXPECT_EQ(1u, this->m_allocator.OutstandingBlocks());
}

// The mixer's own values.
using SpatialMixerFXParamsTest = MixerParamObjectTest<MixerTraits>;

TEST_F(SpatialMixerFXParamsTest, WithoutBlockBypassIsOffMaxObjectsIs32AndNoFlagIsSet) {
    EXPECT_FALSE(m_pParams->HasAnyChanged());
    EXPECT_EQ(ZV_Success, m_pParams->InitParameters(&m_allocator, nullptr, 0));
    EXPECT_FALSE(m_pParams->GetValues().bBypass);
    EXPECT_EQ(32, m_pParams->GetValues().iMaxObjects);
    EXPECT_FALSE(m_pParams->HasAnyChanged());
}

TEST_F(SpatialMixerFXParamsTest, BlockHoldsBypassThenLittleEndianSignedMaxObjects) {
    const uint8_t aBlock[5] = {0x01, 0x08, 0x00, 0x00, 0x00};
    EXPECT_EQ(ZV_Success, m_pParams->InitParameters(&m_allocator, aBlock, 5));
    EXPECT_TRUE(m_pParams->GetValues().bBypass);
    EXPECT_EQ(8, m_pParams->GetValues().iMaxObjects);

    EXPECT_EQ(ZV_Success, SetBlock({0x80, 0x04, 0x03, 0x02, 0x81}));
    EXPECT_TRUE(m_pParams->GetValues().bBypass);
    EXPECT_EQ(static_cast<int32_t>(0x81020304u), m_pParams->GetValues().iMaxObjects);

    // At an odd address.
    alignas(8) const uint8_t aOdd[8] = {0xEE, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE};
    EXPECT_EQ(ZV_Success, m_pParams->SetParameterBlock(aOdd + 1, 5));
    EXPECT_FALSE(m_pParams->GetValues().bBypass);
    EXPECT_EQ(-1, m_pParams->GetValues().iMaxObjects);

    // Longer: the first five bytes count.
    EXPECT_EQ(ZV_Success, SetBlock({0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x07}));
    EXPECT_EQ(3, m_pParams->GetValues().iMaxObjects);
    EXPECT_EQ(1u, m_checks.Reports().size());
}

TEST_F(SpatialMixerFXParamsTest, ShortBlockKeepsMaxObjectsItDoesNotHoldWhole) {
    // Straight from creation: the default stands in for what the block lacks.
    EXPECT_EQ(ZV_Success, SetBlock({0x01, 0x02, 0x00}));
    EXPECT_TRUE(m_pParams->GetValues().bBypass);
    EXPECT_EQ(32, m_pParams->GetValues().iMaxObjects);
}

TEST_F(SpatialMixerFXParamsTest, MaxObjectsTakesTheValuesFourBytesAsAnInteger) {
    const int32_t iEight = 8;
    EXPECT_EQ(ZV_Success, m_pParams->SetParameter(6, &iEight, 4));
    EXPECT_EQ(8, m_pParams->GetValues().iMaxObjects);
    EXPECT_TRUE(m_pParams->HasChanged(6));
    EXPECT_FALSE(m_pParams->HasChanged(0));

    // At an odd address.
    alignas(8) const uint8_t aBuffer[8] = {0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 0};
    EXPECT_EQ(ZV_Success, m_pParams->SetParameter(6, aBuffer + 3, 4));
    EXPECT_EQ(-3, m_pParams->GetValues().iMaxObjects);
}

// The attachment's own value.
using SpatialMixerFXAttachmentParamsTest = MixerParamObjectTest<AttachmentTraits>;

TEST_F(SpatialMixerFXAttachmentParamsTest, WithoutBlockBypassLocalIsOnAndAnEmptyBlockKeepsIt) {
    EXPECT_EQ(ZV_Success, m_pParams->InitParameters(&m_allocator, nullptr, 0));
    EXPECT_TRUE(m_pParams->GetBypassLocal());
    EXPECT_FALSE(m_pParams->HasAnyChanged());

    EXPECT_EQ(ZV_Success, SetBlock({}));
    EXPECT_TRUE(m_pParams->GetBypassLocal());
    EXPECT_EQ(ZV_Success, SetBlock({0x00}));
    EXPECT_FALSE(m_pParams->GetBypassLocal());
    EXPECT_EQ(ZV_Success, SetBlock({}));
    EXPECT_FALSE(m_pParams->GetBypassLocal());
}

}  // namespace
