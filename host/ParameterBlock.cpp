#include "ParameterBlock.h"

#include "BankWriter.h"

namespace host {

ParameterBlock WriteParameterBlock(ZV::Orvel::IAudioPlugin& in_rPlugin, PropertySet& in_rProperties,
                                   const ZV::Orvel::PlatformKey& in_platform) {
    in_rPlugin.AttachPropertySet(&in_rProperties);
    BankWriter writer;
    ParameterBlock block;
    block.bWritten = in_rPlugin.WriteBankData(in_platform, &writer);
    block.bytes = writer.Bytes();
    return block;
}

}  // namespace host
