// The four design-tool classes on their own: the parameter blocks they write, their dialogs and
// window messages, the effect's dialog request and the mixer's monitoring records.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "AssertRecorder.h"
#include "DesignToolWindow.h"
#include "ParameterBlock.h"
#include "PropertySet.h"
#include "SpatialEffectPlugin.h"
#include "SpatialMixer.h"
#include "SpatialMixerAttachment.h"
#include "StandinFixture.h"
#include "ToolTestSupport.h"
#include "ZvSinkPlugin.h"

namespace {

using testing_support::StandinTest;
using tool_tests::Bytes;
using tool_tests::kWindows;
using tool_tests::kXboxOne;
using tool_tests::PluginPtr;
using tool_tests::TextOf;

typedef StandinTest ToolPluginTest;

TEST_F(ToolPluginTest, TheSinkWritesGainThenLayoutForThePlatformAsked) {
    PluginPtr sink(new ZvSinkPlugin());
    host::PropertySet properties;
    properties.SetReal32(kWindows, L"DirectGain", 0.5f);
    properties.SetInt32(kWindows, L"ChannelConfig", 3);
    properties.SetReal32(kXboxOne, L"DirectGain", 1.0f);
    properties.SetInt32(kXboxOne, L"ChannelConfig", 1);

    host::ParameterBlock block = host::WriteParameterBlock(*sink, properties, kWindows);
    EXPECT_TRUE(block.bWritten);
    EXPECT_EQ(Bytes({0x00, 0x00, 0x00, 0x3F, 0x03, 0x00, 0x00, 0x00}), block.bytes);
    block = host::WriteParameterBlock(*sink, properties, kXboxOne);
    EXPECT_EQ(Bytes({0x00, 0x00, 0x80, 0x3F, 0x01, 0x00, 0x00, 0x00}), block.bytes);

    // Properties that cannot be read give the types' zero, never stale or uninitialised bytes.
    host::PropertySet empty;
    block = host::WriteParameterBlock(*sink, empty, kWindows);
    EXPECT_TRUE(block.bWritten);
    EXPECT_EQ(std::vector<uint8_t>(8, 0), block.bytes);
    EXPECT_FALSE(sink->WriteBankData(kWindows, nullptr));
}

TEST_F(ToolPluginTest, TheSinkHasNoDialog) {
    PluginPtr sink(new ZvSinkPlugin());
    uint32_t uDialogId = 77;
    const ZV::Orvel::PropertyControlBinding* pTable = &SpatialMixer::s_propertyControls[0];
    EXPECT_FALSE(sink->DescribeDialog(ZV::Orvel::SettingsDialog, uDialogId, pTable));
    EXPECT_EQ(77u, uDialogId);
    EXPECT_EQ(&SpatialMixer::s_propertyControls[0], pTable);
    for (uint32_t uMsg : {WM_INITDIALOG, WM_DESTROY, WM_COMMAND}) {
        LRESULT lResult = 99;
        EXPECT_FALSE(
            sink->HandleWindowMessage(ZV::Orvel::SettingsDialog, nullptr, uMsg, 1, 2, lResult));
        EXPECT_EQ(0, lResult);
    }
}

TEST_F(ToolPluginTest, TheEffectWritesNothingAndAlwaysDescribesDialog104) {
    testing_support::AssertRecorder checks;
    PluginPtr effect(new SpatialEffectPlugin());
    host::PropertySet properties;
    const host::ParameterBlock block = host::WriteParameterBlock(*effect, properties, kWindows);
    EXPECT_TRUE(block.bWritten);
    EXPECT_TRUE(block.bytes.empty());

    uint32_t uDialogId = 0;
    const ZV::Orvel::PropertyControlBinding* pTable = SpatialMixer::s_propertyControls;
    EXPECT_TRUE(effect->DescribeDialog(ZV::Orvel::SettingsDialog, uDialogId, pTable));
    EXPECT_EQ(104u, uDialogId);
    EXPECT_EQ(nullptr, pTable);
    EXPECT_TRUE(checks.Reports().empty());

    uDialogId = 0;
    EXPECT_TRUE(effect->DescribeDialog(static_cast<ZV::Orvel::DialogKind>(3), uDialogId, pTable));
    EXPECT_EQ(104u, uDialogId);
    ASSERT_EQ(1u, checks.Reports().size());
    EXPECT_TRUE(checks.Saw("in_eDialog == SettingsDialog", "SpatialEffectPlugin"));
}

TEST_F(ToolPluginTest, TheEffectsDialogRequestSendsOneMessageToTheGivenWindow) {
    PluginPtr effect(new SpatialEffectPlugin());
    host::DesignToolWindow designTool;
    EXPECT_FALSE(effect->HandleDialogRequest(designTool.Window(),
                                             static_cast<ZV::Orvel::DialogKind>(1), nullptr));
    EXPECT_TRUE(designTool.PrivateMessages().empty());
    EXPECT_TRUE(effect->HandleDialogRequest(designTool.Window(), ZV::Orvel::SettingsDialog,
                                            reinterpret_cast<void*>(0x55)));
    ASSERT_EQ(1u, designTool.PrivateMessages().size());
    EXPECT_EQ(0x4981u, designTool.PrivateMessages()[0].uMsg);
    EXPECT_EQ(47u, designTool.PrivateMessages()[0].wParam);
    EXPECT_EQ(0, designTool.PrivateMessages()[0].lParam);
}

TEST_F(ToolPluginTest, DialogWindowsAreKeptFromInitDialogToDestroy) {
    auto* pEffect = new SpatialEffectPlugin();
    PluginPtr effect(pEffect);
    HWND hDialog = reinterpret_cast<HWND>(0x1234);
    for (uint32_t uMsg : {static_cast<uint32_t>(WM_INITDIALOG), static_cast<uint32_t>(WM_COMMAND),
                          static_cast<uint32_t>(WM_DESTROY)}) {
        LRESULT lResult = 99;
        EXPECT_FALSE(
            effect->HandleWindowMessage(ZV::Orvel::SettingsDialog, hDialog, uMsg, 0, 0, lResult));
        EXPECT_EQ(0, lResult);
        EXPECT_EQ(uMsg == WM_DESTROY ? nullptr : hDialog, pEffect->DialogWindow());
    }
}

TEST_F(ToolPluginTest, TheMixerAndItsAttachmentWriteTheirBlocks) {
    PluginPtr mixer(new SpatialMixer());
    PluginPtr attachment(new SpatialMixerAttachment());
    host::PropertySet properties;
    properties.SetBool(kWindows, L"Bypass", true);
    properties.SetInt32(kWindows, L"MaxObjects", 20);
    properties.SetBool(kWindows, L"BypassLocal", false);
    properties.SetBool(kXboxOne, L"BypassLocal", true);

    host::ParameterBlock block = host::WriteParameterBlock(*mixer, properties, kWindows);
    EXPECT_TRUE(block.bWritten);
    EXPECT_EQ(Bytes({0x01, 0x14, 0x00, 0x00, 0x00}), block.bytes);
    block = host::WriteParameterBlock(*attachment, properties, kWindows);
    EXPECT_TRUE(block.bWritten);
    EXPECT_EQ(Bytes({0x00}), block.bytes);
    block = host::WriteParameterBlock(*attachment, properties, kXboxOne);
    EXPECT_EQ(Bytes({0x01}), block.bytes);

    // "MaxObjects" missing after "Bypass" was read: the integer is 0, not what the boolean
    // left in the variant.
    host::PropertySet bypassOnly;
    bypassOnly.SetBool(kWindows, L"Bypass", true);
    block = host::WriteParameterBlock(*mixer, bypassOnly, kWindows);
    EXPECT_EQ(Bytes({0x01, 0x00, 0x00, 0x00, 0x00}), block.bytes);
}

TEST_F(ToolPluginTest, TheMixerDialogsAndTablesDoNotDependOnTheKindAsked) {
    PluginPtr mixer(new SpatialMixer());
    PluginPtr attachment(new SpatialMixerAttachment());
    host::DesignToolWindow designTool;
    for (uint32_t uKind : {0u, 7u}) {
        uint32_t uDialogId = 0;
        const ZV::Orvel::PropertyControlBinding* pTable = nullptr;
        EXPECT_TRUE(
            mixer->DescribeDialog(static_cast<ZV::Orvel::DialogKind>(uKind), uDialogId, pTable));
        EXPECT_EQ(104u, uDialogId);
        ASSERT_NE(nullptr, pTable);
        EXPECT_EQ(21046u, pTable[0].uControlId);
        EXPECT_STREQ(L"Bypass", pTable[0].pszPropertyName);
        EXPECT_EQ(0u, pTable[1].uControlId);
        EXPECT_EQ(nullptr, pTable[1].pszPropertyName);

        EXPECT_TRUE(attachment->DescribeDialog(static_cast<ZV::Orvel::DialogKind>(uKind), uDialogId,
                                               pTable));
        EXPECT_EQ(101u, uDialogId);
        ASSERT_NE(nullptr, pTable);
        EXPECT_EQ(21052u, pTable[0].uControlId);
        EXPECT_STREQ(L"BypassLocal", pTable[0].pszPropertyName);
        EXPECT_EQ(nullptr, pTable[1].pszPropertyName);

        EXPECT_TRUE(mixer->HandleDialogRequest(designTool.Window(),
                                               static_cast<ZV::Orvel::DialogKind>(uKind), nullptr));
        EXPECT_TRUE(attachment->HandleDialogRequest(
            designTool.Window(), static_cast<ZV::Orvel::DialogKind>(uKind), nullptr));
    }
    EXPECT_TRUE(designTool.PrivateMessages().empty());
}

// A window with the three counter controls of the mixer's dialog, opened and closed for the
// mixer as the design tool does.
class MixerMonitorTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        m_hDialog = CreateWindowExW(0, L"Static", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                    nullptr, nullptr, nullptr);
        for (int iId : {21060, 21061, 21062}) {
            CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 10, 10, m_hDialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(iId)), nullptr, nullptr);
        }
        m_mixer.reset(new SpatialMixer());
        m_properties.SetCurrentPlatform(kWindows);
        m_properties.SetInt32(kWindows, L"MaxObjects", 32);
        m_properties.SetInt32(kXboxOne, L"MaxObjects", 32);
        m_mixer->AttachPropertySet(&m_properties);
    }
    void TearDown() override {
        m_mixer.reset();
        DestroyWindow(m_hDialog);
        StandinTest::TearDown();
    }

    void Send(uint32_t in_uMsg) {
        LRESULT lResult = 99;
        EXPECT_FALSE(m_mixer->HandleWindowMessage(ZV::Orvel::SettingsDialog, m_hDialog, in_uMsg, 0,
                                                  0, lResult));
        EXPECT_EQ(0, lResult);
    }
    void Receive(int32_t in_iPlaying, int32_t in_iVoices, int32_t in_iAvailable) {
        const int32_t aiRecord[3] = {in_iPlaying, in_iVoices, in_iAvailable};
        m_mixer->ReceiveMonitorData(aiRecord, sizeof(aiRecord), false);
    }
    std::wstring Text(int in_iId) { return TextOf(GetDlgItem(m_hDialog, in_iId)); }
    int32_t MaxObjects(const ZV::Orvel::PlatformKey& in_platform = kWindows) {
        VARIANT value;
        EXPECT_TRUE(m_properties.Get(in_platform, L"MaxObjects", value));
        EXPECT_EQ(VT_I4, value.vt);
        return value.lVal;
    }

    HWND m_hDialog = nullptr;
    host::PropertySet m_properties;
    PluginPtr m_mixer;
};

TEST_F(MixerMonitorTest, AnOpenDialogShowsTheCountersAndMaxObjectsIsLowered) {
    Send(WM_INITDIALOG);
    Receive(3, 7, 16);
    EXPECT_EQ(L"3", Text(21060));
    EXPECT_EQ(L"7", Text(21061));
    EXPECT_EQ(L"16", Text(21062));
    EXPECT_EQ(16, MaxObjects());
    // Only the platform being edited.
    EXPECT_EQ(32, MaxObjects(kXboxOne));

    Receive(-1, 2147483647, 16);
    EXPECT_EQ(L"-1", Text(21060));
    EXPECT_EQ(L"2147483647", Text(21061));
}

TEST_F(MixerMonitorTest, MaxObjectsIsNeverRaisedNorSetToZeroOrBelow) {
    const uint32_t uWrites = m_properties.WriteCount();
    Receive(0, 0, 0);
    Receive(1, 1, 40);
    Receive(1, 1, -5);
    EXPECT_EQ(32, MaxObjects());
    EXPECT_EQ(uWrites, m_properties.WriteCount());
    Receive(1, 1, 32);
    EXPECT_EQ(uWrites, m_properties.WriteCount());
    Receive(1, 1, 8);
    Receive(1, 1, 16);
    EXPECT_EQ(8, MaxObjects());
    EXPECT_EQ(uWrites + 1, m_properties.WriteCount());
}

TEST_F(MixerMonitorTest, RecordsWithTheDialogClosedChangeNoTextButStillLowerMaxObjects) {
    Receive(3, 7, 16);
    EXPECT_EQ(L"", Text(21060));
    EXPECT_EQ(16, MaxObjects());
    Send(WM_INITDIALOG);
    Receive(1, 2, 12);
    Send(WM_DESTROY);
    Receive(5, 6, 10);
    EXPECT_EQ(L"1", Text(21060));
    EXPECT_EQ(L"2", Text(21061));
    EXPECT_EQ(L"12", Text(21062));
    EXPECT_EQ(10, MaxObjects());
}

TEST_F(MixerMonitorTest, ShortRecordsAreIgnoredAndLongOnesReadTheirFirstTwelveBytes) {
    Send(WM_INITDIALOG);
    const uint32_t uWrites = m_properties.WriteCount();
    // Exactly eleven bytes on the heap: reading a twelfth would be caught.
    std::unique_ptr<uint8_t[]> shortRecord(new uint8_t[11]());
    shortRecord[8] = 4;
    m_mixer->ReceiveMonitorData(shortRecord.get(), 11, false);
    m_mixer->ReceiveMonitorData(nullptr, 12, false);
    EXPECT_EQ(L"", Text(21062));
    EXPECT_EQ(uWrites, m_properties.WriteCount());

    const uint8_t aLong[16] = {9, 0, 0, 0, 8, 0, 0, 0, 20, 0, 0, 0, 1, 1, 1, 1};
    m_mixer->ReceiveMonitorData(aLong, sizeof(aLong), true);
    EXPECT_EQ(L"9", Text(21060));
    EXPECT_EQ(L"8", Text(21061));
    EXPECT_EQ(L"20", Text(21062));
    EXPECT_EQ(20, MaxObjects());
}

TEST_F(MixerMonitorTest, WithoutAPropertySetOnlyTheTextsChange) {
    m_mixer->AttachPropertySet(nullptr);
    Send(WM_INITDIALOG);
    Receive(3, 7, 16);
    EXPECT_EQ(L"16", Text(21062));
    EXPECT_EQ(32, MaxObjects());
}

}  // namespace
