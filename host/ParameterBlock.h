// A plug-in's parameter block as the design tool writes it into a sound bank: what the engine
// side's InitParameters then receives.
#pragma once

#include <cstdint>
#include <vector>

#include "IAudioPlugin.h"
#include "PropertySet.h"

namespace host {

struct ParameterBlock {
    bool bWritten = false;  // what WriteBankData answered
    std::vector<uint8_t> bytes;
};

// Attaches in_rProperties to in_rPlugin and asks it for its block for in_platform.
ParameterBlock WriteParameterBlock(ZV::Orvel::IAudioPlugin& in_rPlugin, PropertySet& in_rProperties,
                                   const ZV::Orvel::PlatformKey& in_platform);

}  // namespace host
