// The sink's transition soak on the stepped renderer: a thousand cycles, every invariant after
// every period (SinkTransitionSoak.h).

#include "SinkTransitionSoak.h"

namespace {

using sink_testing::SinkTransitionSoak;

TEST_F(SinkTransitionSoak, AThousandTransitionsKeepTheHostGoingAndEveryChannelInItsPlace) {
    Soak(16, 1000, false);
    EXPECT_EQ(StreamRunning, m_pSink->GetStreamState());
}

}  // namespace
