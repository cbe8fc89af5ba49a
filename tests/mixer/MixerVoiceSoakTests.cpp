// The mixer of both builds through a long stepped run of a game's transitions (VoiceSoak.h):
// every frame checked sample by sample, the same in every run of a seed.

#include <gtest/gtest.h>

#include "VoiceSoak.h"

namespace {

using mixer_tests::SoakCoverage;

template <typename Build>
using MixerVoiceSoakTest = mixer_tests::VoiceSoakTest<Build>;
TYPED_TEST_SUITE(MixerVoiceSoakTest, mixer_tests::Builds, mixer_tests::BuildNames);

TYPED_TEST(MixerVoiceSoakTest, EveryVoiceIsHeardOnceWhereItIsThroughStartsStopsMeetingsAndLosses) {
    const SoakCoverage coverage = this->Soak(19, 2400, false);
    // The run went through what it is for.
    EXPECT_EQ(4u, coverage.uLosses);
    EXPECT_EQ(4u, coverage.uReturns);
    EXPECT_EQ(6u, coverage.uFailedAttempts);
    EXPECT_LE(10u, coverage.uMeetings);
    EXPECT_LE(10u, coverage.uPartings);
    EXPECT_LE(50u, coverage.uStarts);
    EXPECT_LE(50u, coverage.uStops);
    EXPECT_LE(5u, coverage.uReconnects);
    EXPECT_LE(10u, coverage.uBypassLocalSwitches);
    EXPECT_LE(50u, coverage.uFramesOverBudget);
    EXPECT_LE(50u, coverage.uFramesUnderBudget);
    EXPECT_LE(100u, coverage.uSharedObjectFrames);
    EXPECT_LE(100000u, coverage.uObjectSamplesHeard);
    EXPECT_LT(0u, coverage.uSamplesLostAcrossLosses);
    printf("%s\n", coverage.Summary().c_str());
}

}  // namespace
