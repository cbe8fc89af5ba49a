// ZvMixerInputMap: per-input data owned by the map, linear lookup, removal by moving the last
// entry, allocation failures that keep the map intact, and the uninitialised-allocator check.

#include <gtest/gtest.h>

#include <set>

#include "HostAllocatorTest.h"
#include "HostMixerInputContext.h"
#include "MixerInputData.h"
#include "ZvMixerInputMap.h"

namespace {

constexpr const char* kUninitialisedCheck =
    "m_pAllocator || !\"Allocator not set. Did you forget to call ZvMixerInputMap::Init()?\"";

class ZvMixerInputMapTest : public testing_support::HostAllocatorTest {
protected:
    static constexpr uint32_t kInputs = 12;

    void SetUp() override { m_map.Init(&m_allocator); }
    void TearDown() override {
        m_map.Term();
        HostAllocatorTest::TearDown();
    }

    // Marks every input's data with its own index, so that a mixed-up entry shows.
    void AddAll() {
        for (uint32_t uInput = 0; uInput < kInputs; ++uInput) {
            MixerInputData* pData = m_map.AddInput(&m_inputs[uInput]);
            ASSERT_NE(nullptr, pData);
            m_apData[uInput] = pData;
        }
    }

    host::HostMixerInputContext m_inputs[kInputs];
    MixerInputData* m_apData[kInputs] = {};
    ZvMixerInputMap<MixerInputData> m_map;
};

TEST_F(ZvMixerInputMapTest, AddGivesFreshDataOncePerInput) {
    AddAll();
    std::set<MixerInputData*> distinct(m_apData, m_apData + kInputs);
    EXPECT_EQ(kInputs, distinct.size());
    for (uint32_t uInput = 0; uInput < kInputs; ++uInput) {
        // Host memory arrives filled with a pattern: the data must have been initialised.
        EXPECT_FALSE(m_apData[uInput]->bConsumed);
        EXPECT_EQ(m_apData[uInput], m_map.Exists(&m_inputs[uInput]));
    }
    const uint64_t uCalls = m_allocator.MallocCalls();
    EXPECT_EQ(m_apData[3], m_map.AddInput(&m_inputs[3]));
    EXPECT_EQ(uCalls, m_allocator.MallocCalls());
    EXPECT_EQ(kInputs, m_map.Length());

    host::HostMixerInputContext stranger;
    EXPECT_EQ(nullptr, m_map.Exists(&stranger));
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(ZvMixerInputMapTest, RemovalFreesTheDataAndKeepsOtherInputsOnTheirOwn) {
    AddAll();
    const size_t uBlocks = m_allocator.OutstandingBlocks();
    for (uint32_t uInput : {0u, 5u, kInputs - 1, 6u}) {
        m_map.RemoveInput(&m_inputs[uInput]);
        m_apData[uInput] = nullptr;
    }
    EXPECT_EQ(uBlocks - 4, m_allocator.OutstandingBlocks());
    EXPECT_EQ(kInputs - 4, m_map.Length());
    for (uint32_t uInput = 0; uInput < kInputs; ++uInput) {
        EXPECT_EQ(m_apData[uInput], m_map.Exists(&m_inputs[uInput])) << uInput;
    }

    // Removing an input the map does not hold changes nothing.
    m_map.RemoveInput(&m_inputs[5]);
    EXPECT_EQ(kInputs - 4, m_map.Length());

    // Iteration visits every remaining entry once, with its own data.
    uint32_t uVisited = 0;
    for (auto& entry : m_map) {
        EXPECT_EQ(m_map.Exists(entry.pContext), entry.pUserData);
        entry.pUserData->bConsumed = true;
        ++uVisited;
    }
    EXPECT_EQ(kInputs - 4, uVisited);

    // A reconnected input starts with fresh data.
    MixerInputData* pAgain = m_map.AddInput(&m_inputs[5]);
    ASSERT_NE(nullptr, pAgain);
    EXPECT_FALSE(pAgain->bConsumed);

    // Term frees everything; the map can be used again.
    m_map.Term();
    EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
    EXPECT_NE(nullptr, m_map.AddInput(&m_inputs[0]));
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(ZvMixerInputMapTest, AnyFailedAllocationKeepsNothingAndLosesNothing) {
    // A run without failures counts the allocations that adding every input takes (data and the
    // map's storage); then each of them fails in turn in a run of its own.
    AddAll();
    m_map.Term();
    const uint64_t uAllocations = m_allocator.MallocCalls();
    ASSERT_GT(uAllocations, uint64_t{kInputs});

    for (uint64_t uFail = 1; uFail <= uAllocations; ++uFail) {
        SCOPED_TRACE(uFail);
        m_allocator.FailAllocation(uFail);
        MixerInputData* apData[kInputs];
        uint32_t uRefused = 0;
        for (uint32_t uInput = 0; uInput < kInputs; ++uInput) {
            apData[uInput] = m_map.AddInput(&m_inputs[uInput]);
            uRefused += apData[uInput] == nullptr ? 1 : 0;
        }
        EXPECT_EQ(1u, uRefused);
        EXPECT_EQ(kInputs - 1, m_map.Length());
        for (uint32_t uInput = 0; uInput < kInputs; ++uInput) {
            EXPECT_EQ(apData[uInput], m_map.Exists(&m_inputs[uInput])) << uInput;
        }
        // One block per input's data plus the storage: a refused input leaked nothing.
        EXPECT_EQ(m_map.Length() + 1u, m_allocator.OutstandingBlocks());
        m_map.Term();
    }
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST(ZvMixerInputMapInitTest, MapWithoutAllocatorReportsAndDoesNothing) {
    testing_support::AssertRecorder checks;
    host::HostMixerInputContext input;
    ZvMixerInputMap<MixerInputData> map;

    EXPECT_EQ(nullptr, map.AddInput(&input));
    map.RemoveInput(&input);
    map.Term();
    EXPECT_EQ(0u, map.Length());
    ASSERT_EQ(3u, checks.Reports().size());
    for (const auto& report : checks.Reports()) {
        EXPECT_EQ(kUninitialisedCheck, report.expression);
        EXPECT_EQ("ZvMixerInputMap", report.source);
    }
}

}  // namespace
