// The chain design tool -> bank -> engine: the block that each design-tool object writes from its
// properties, handed to its engine side's InitParameters, gives back the values of the properties.

#include <gtest/gtest.h>

#include "HostAllocatorTest.h"
#include "ISACFXParams.h"
#include "ParameterBlock.h"
#include "PropertySet.h"
#include "SinkPluginParams.h"
#include "SpatialEffectPlugin.h"
#include "SpatialMixer.h"
#include "SpatialMixerAttachment.h"
#include "SpatialMixerFXAttachmentParams.h"
#include "SpatialMixerFXParams.h"
#include "ToolTestSupport.h"
#include "ZvSinkPlugin.h"

namespace {

using tool_tests::kWindows;
using tool_tests::PluginPtr;

class BankRoundTripTest : public testing_support::HostAllocatorTest {
protected:
    // The engine parameter object that in_pfnCreate makes, initialised from in_block.
    template <typename TParams>
    TParams* EngineParams(ZV::IPluginParam* (*in_pfnCreate)(ZV::IPluginMemAlloc*),
                          const host::ParameterBlock& in_block) {
        ZV::IPluginParam* pParams = in_pfnCreate(&m_allocator);
        EXPECT_NE(nullptr, pParams);
        if (pParams == nullptr) {
            return nullptr;
        }
        EXPECT_EQ(ZV_Success,
                  pParams->InitParameters(&m_allocator, in_block.bytes.data(),
                                          static_cast<uint32_t>(in_block.bytes.size())));
        return static_cast<TParams*>(pParams);
    }
};

TEST_F(BankRoundTripTest, TheSinksGainAndLayoutComeBack) {
    for (const float fGain : {0.5f, 1.0f, 0.0f, 2.5f}) {
        for (const int32_t iLayout : {0, 1, 2, 3, 7}) {
            PluginPtr sink(new ZvSinkPlugin());
            host::PropertySet properties;
            properties.SetReal32(kWindows, L"DirectGain", fGain);
            properties.SetInt32(kWindows, L"ChannelConfig", iLayout);
            const host::ParameterBlock block =
                host::WriteParameterBlock(*sink, properties, kWindows);
            auto* pParams = EngineParams<SinkPluginParams>(&CreateSinkPluginParams, block);
            ASSERT_NE(nullptr, pParams);
            EXPECT_EQ(fGain, pParams->GetDirectGain());
            EXPECT_EQ(static_cast<uint32_t>(iLayout), pParams->GetChannelConfig());
            pParams->TermParameters(&m_allocator);
        }
    }
    EXPECT_TRUE(m_checks.Reports().empty()) << "a whole block draws no report";
}

TEST_F(BankRoundTripTest, TheEffectsEmptyBlockInitialisesItsParameters) {
    PluginPtr effect(new SpatialEffectPlugin());
    host::PropertySet properties;
    const host::ParameterBlock block = host::WriteParameterBlock(*effect, properties, kWindows);
    EXPECT_TRUE(block.bytes.empty());
    auto* pParams = EngineParams<ISACFXParams>(&CreateISACFXParams, block);
    ASSERT_NE(nullptr, pParams);
    pParams->TermParameters(&m_allocator);
}

TEST_F(BankRoundTripTest, TheMixersBypassAndObjectLimitComeBack) {
    for (const bool bBypass : {false, true}) {
        for (const int32_t iMaxObjects : {0, 8, 20, 32, -1}) {
            PluginPtr mixer(new SpatialMixer());
            host::PropertySet properties;
            properties.SetBool(kWindows, L"Bypass", bBypass);
            properties.SetInt32(kWindows, L"MaxObjects", iMaxObjects);
            const host::ParameterBlock block =
                host::WriteParameterBlock(*mixer, properties, kWindows);
            auto* pParams = EngineParams<SpatialMixerFXParams>(&CreateSpatialMixerFXParams, block);
            ASSERT_NE(nullptr, pParams);
            const SpatialMixerFXParams::Values values = pParams->GetValues();
            EXPECT_EQ(bBypass, values.bBypass);
            EXPECT_EQ(iMaxObjects, values.iMaxObjects);
            pParams->TermParameters(&m_allocator);
        }
    }
    EXPECT_TRUE(m_checks.Reports().empty());
}

TEST_F(BankRoundTripTest, TheAttachmentsBypassLocalComesBack) {
    for (const bool bBypassLocal : {false, true}) {
        PluginPtr attachment(new SpatialMixerAttachment());
        host::PropertySet properties;
        properties.SetBool(kWindows, L"BypassLocal", bBypassLocal);
        const host::ParameterBlock block =
            host::WriteParameterBlock(*attachment, properties, kWindows);
        auto* pParams = EngineParams<SpatialMixerFXAttachmentParams>(
            &CreateSpatialMixerFXAttachmentParams, block);
        ASSERT_NE(nullptr, pParams);
        EXPECT_EQ(bBypassLocal, pParams->GetBypassLocal());
        pParams->TermParameters(&m_allocator);
    }
    EXPECT_TRUE(m_checks.Reports().empty());
}

}  // namespace
