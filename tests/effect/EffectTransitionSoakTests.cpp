// The effect's transition soak on the stepped renderer: a thousand cycles, every invariant after
// every period (EffectTransitionSoak.h).

#include "EffectTransitionSoak.h"

namespace {

using effect_tests::EffectTransitionSoak;

TEST_F(EffectTransitionSoak, AThousandTransitionsTakeTheBusOnlyWhileTheRendererPlaysIt) {
    Soak(16, 1000, false);
}

}  // namespace
