// The plug-ins' dialogs hosted as the design tool hosts them, from the libraries' own resources:
// controls where and as the resources say, bindings that follow their properties, and the
// mixer's counters arriving through the monitoring delivery.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "DesignToolLibrary.h"
#include "DesignToolWindow.h"
#include "DialogHost.h"
#include "HostAllocator.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "MixerBusDriver.h"
#include "MonitorDataRouter.h"
#include "ParameterBlock.h"
#include "PropertySet.h"
#include "StandinFixture.h"
#include "ToolTestSupport.h"
#include "standin/Renderer.h"

namespace {

using testing_support::StandinTest;
using tool_tests::DesignToolLibrary;
using tool_tests::kWindows;
using tool_tests::PluginPtr;
using tool_tests::TextOf;

struct ExpectedControl {
    const wchar_t* pszClass;
    int iId;
    const wchar_t* pszText;
    RECT dialogUnits;  // left, top, right, bottom
    LONG_PTR style;
};

constexpr LONG_PTR kChild = WS_CHILD | WS_VISIBLE;
constexpr LONG_PTR kCheckBox = kChild | BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr LONG_PTR kLabel = kChild | SS_LEFT | WS_GROUP;
constexpr LONG_PTR kBordered = kLabel | WS_BORDER;

RECT Units(LONG in_x, LONG in_y, LONG in_cx, LONG in_cy) {
    return RECT{in_x, in_y, in_x + in_cx, in_y + in_cy};
}

std::wstring ClassOf(HWND in_hWnd) {
    wchar_t szName[64];
    const int iLength = GetClassNameW(in_hWnd, szName, 64);
    return std::wstring(szName, static_cast<size_t>(iLength));
}

// The dialog's controls in order, each compared with what the resource describes.
void ExpectControls(HWND in_hDialog, const std::vector<ExpectedControl>& in_expected) {
    RECT dialogRect;
    ASSERT_TRUE(GetWindowRect(in_hDialog, &dialogRect));
    std::vector<HWND> controls;
    for (HWND hChild = GetWindow(in_hDialog, GW_CHILD); hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        controls.push_back(hChild);
    }
    ASSERT_EQ(in_expected.size(), controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        const ExpectedControl& expected = in_expected[i];
        SCOPED_TRACE(std::to_string(i));
        EXPECT_EQ(expected.pszClass, ClassOf(controls[i]));
        EXPECT_EQ(expected.iId, GetDlgCtrlID(controls[i]));
        if (expected.pszText != nullptr) {
            EXPECT_EQ(expected.pszText, TextOf(controls[i]));
        }
        EXPECT_EQ(expected.style, GetWindowLongPtrW(controls[i], GWL_STYLE));
        RECT pixels = expected.dialogUnits;
        ASSERT_TRUE(MapDialogRect(in_hDialog, &pixels));
        RECT rect;
        ASSERT_TRUE(GetWindowRect(controls[i], &rect));
        EXPECT_EQ(pixels.left, rect.left - dialogRect.left);
        EXPECT_EQ(pixels.top, rect.top - dialogRect.top);
        EXPECT_EQ(pixels.right, rect.right - dialogRect.left);
        EXPECT_EQ(pixels.bottom, rect.bottom - dialogRect.top);
    }
}

class DialogHostingTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        m_properties.SetCurrentPlatform(kWindows);
        m_properties.SetBool(kWindows, L"Bypass", true);
        m_properties.SetInt32(kWindows, L"MaxObjects", 32);
        m_properties.SetBool(kWindows, L"BypassLocal", true);
    }

    host::PropertySet m_properties;
};

TEST_F(DialogHostingTest, TheMixerDialogShowsItsControlsWithTheRangeControlInPlace) {
    DesignToolLibrary library(L"SpatialMixer.dll");
    host::DesignToolWindow designTool;
    PluginPtr mixer(library.CreatePlugin()(275, 799));
    host::DialogHost dialogHost(m_properties, designTool.Window());
    ASSERT_NE(nullptr, mixer);
    ASSERT_TRUE(dialogHost.Open(*mixer));
    HWND hDialog = dialogHost.Dialog();
    ASSERT_NE(nullptr, hDialog);
    EXPECT_TRUE(dialogHost.Problems().empty());
    EXPECT_EQ(designTool.Window(), GetParent(hDialog));
    EXPECT_EQ(static_cast<LONG_PTR>(DS_SETFONT | DS_FIXEDSYS | WS_CHILD | WS_CLIPCHILDREN),
              GetWindowLongPtrW(hDialog, GWL_STYLE));

    // The placeholder gave way to the range control, which now comes last.
    ExpectControls(hDialog,
                   {
                       {L"Button", 21046, L"Bypass", Units(20, 12, 163, 10), kCheckBox},
                       {L"Static", -1, L"Max Objects to use:", Units(19, 51, 66, 8), kLabel},
                       {L"Static", 21060, L"", Units(105, 65, 23, 13), kBordered},
                       {L"Static", -1, L"Playing Objects:", Units(20, 70, 53, 8), kLabel},
                       {L"Static", 21061, L"", Units(105, 82, 23, 13), kBordered},
                       {L"Static", -1, L"Total Voices Playing:", Units(19, 86, 66, 8), kLabel},
                       {L"Static", 21062, L"", Units(106, 28, 23, 13), kBordered},
                       {L"Static", -1, L"Max Available Objects:", Units(20, 32, 74, 8), kLabel},
                       {L"Static", -1, L"Ver: 170510-1000", Units(187, 7, 59, 8), kLabel},
                       {L"SuperRange", -1, L"32", Units(105, 47, 83, 13), kChild | WS_TABSTOP},
                   });
    HWND hLast = GetWindow(hDialog, GW_CHILD);
    while (GetWindow(hLast, GW_HWNDNEXT) != nullptr) {
        hLast = GetWindow(hLast, GW_HWNDNEXT);
    }
    EXPECT_EQ(hLast, dialogHost.ControlOf(L"MaxObjects"));
    EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(hDialog, 21046), BM_GETCHECK, 0, 0));

    dialogHost.Close();
    EXPECT_FALSE(IsWindow(hDialog));
    EXPECT_EQ(1u, standin::Live().windows);  // only the design tool's own window is left
}

TEST_F(DialogHostingTest, CountersArriveThroughTheMonitoringDeliveryWhileTheDialogIsOpen) {
    DesignToolLibrary library(L"SpatialMixer.dll");
    host::DesignToolWindow designTool;
    PluginPtr mixer(library.CreatePlugin()(275, 799));
    host::DialogHost dialogHost(m_properties, designTool.Window());
    host::MonitorDataRouter router;
    router.Attach(5, mixer.get());
    ASSERT_TRUE(dialogHost.Open(*mixer));
    HWND hDialog = dialogHost.Dialog();

    const int32_t aiRecord[3] = {3, 7, 16};
    const int32_t aiOther[3] = {9, 9, 9};
    EXPECT_TRUE(router.Post(5, aiRecord, sizeof(aiRecord)));
    EXPECT_TRUE(router.Post(6, aiOther, sizeof(aiOther)));  // no object of that instance
    EXPECT_EQ(1u, router.DeliverPending());
    EXPECT_EQ(L"3", TextOf(GetDlgItem(hDialog, 21060)));
    EXPECT_EQ(L"7", TextOf(GetDlgItem(hDialog, 21061)));
    EXPECT_EQ(L"16", TextOf(GetDlgItem(hDialog, 21062)));
    // "MaxObjects" came down to 16, and its range control followed.
    EXPECT_EQ(L"16", TextOf(dialogHost.ControlOf(L"MaxObjects")));

    // With the dialog closed, records change no text, but still lower the property.
    dialogHost.Close();
    const int32_t aiLater[3] = {1, 2, 12};
    router.Post(5, aiLater, sizeof(aiLater));
    EXPECT_EQ(1u, router.DeliverPending());
    VARIANT value;
    ASSERT_TRUE(m_properties.Get(kWindows, L"MaxObjects", value));
    EXPECT_EQ(12, value.lVal);
    router.Detach(5);
}

// The engine side that SpatialMixer carries plays through the renderer, as the sound engine
// inside the design tool runs it; its counters reach the library's own design-tool object and
// its dialog, and "MaxObjects" comes down to what the endpoint grants.
TEST_F(DialogHostingTest, ALiveMixerOfTheLibraryShowsItsCountersInTheDialog) {
    DesignToolLibrary library(L"SpatialMixer.dll");
    ZvCreatePluginFn pfnEngine = nullptr;
    ZvCreateParamFn pfnParams = nullptr;
    ASSERT_TRUE(library.GetSoundEngineCallbacks()(275, 799, &pfnEngine, &pfnParams));
    ASSERT_NE(nullptr, pfnEngine);
    ASSERT_NE(nullptr, pfnParams);
    host::DesignToolWindow designTool;
    PluginPtr mixer(library.CreatePlugin()(275, 799));
    host::DialogHost dialogHost(m_properties, designTool.Window());
    host::MonitorDataRouter router;
    router.Attach(7, mixer.get());
    ASSERT_TRUE(dialogHost.Open(*mixer));
    HWND hDialog = dialogHost.Dialog();

    // The engine side, with the block the design-tool object writes ("Bypass" off).
    m_properties.SetBool(kWindows, L"Bypass", false);
    const host::ParameterBlock block = host::WriteParameterBlock(*mixer, m_properties, kWindows);
    host::HostAllocator allocator;
    host::HostGlobalContext global(480);
    host::HostMixerContext context(global, 1, 7);
    context.ForwardMonitorData(&router, 7);
    ZV::IPluginParam* pParams = pfnParams(&allocator);
    ASSERT_NE(nullptr, pParams);
    pParams->InitParameters(&allocator, block.bytes.data(),
                            static_cast<uint32_t>(block.bytes.size()));
    auto* pEngineMixer = static_cast<ZV::IMixerPlugin*>(pfnEngine(&allocator));
    ASSERT_NE(nullptr, pEngineMixer);
    ZvAudioFormat format = {48000, ZvChannelLayout::FromMask(0x3)};
    ASSERT_EQ(ZV_Success, pEngineMixer->InitPlugin(&allocator, &context, pParams, format));
    {
        host::MixerBusDriver bus(*pEngineMixer, format.channelConfig, 480);
        for (int i = 0; i < 3; ++i) {
            host::MixerBusDriver::Voice& voice = bus.AddVoice(ZvChannelLayout::FromMask(0x4));
            voice.SetSource(host::MixerBusDriver::Voice::Constant({0.5f}));
            voice.Context().SetPosition(2.0f, 0.5f * static_cast<float>(i), 0.0f);
        }
        bus.AddVoice(ZvChannelLayout::FromMask(0x3F)).Context().SetPosition(2.0f, 0.0f, 0.0f);
        for (int i = 0; i < 3; ++i) {
            bus.RunFrame();
            standin::Step();
        }
    }
    EXPECT_EQ(3u, router.DeliverPending());
    EXPECT_EQ(L"3", TextOf(GetDlgItem(hDialog, 21060)));
    EXPECT_EQ(L"4", TextOf(GetDlgItem(hDialog, 21061)));
    EXPECT_EQ(L"16", TextOf(GetDlgItem(hDialog, 21062)));
    VARIANT value;
    ASSERT_TRUE(m_properties.Get(kWindows, L"MaxObjects", value));
    EXPECT_EQ(16, value.lVal);
    EXPECT_EQ(L"16", TextOf(dialogHost.ControlOf(L"MaxObjects")));

    EXPECT_EQ(ZV_Success, pEngineMixer->TermPlugin(&allocator));
    EXPECT_EQ(ZV_Success, pParams->TermParameters(&allocator));
    EXPECT_EQ(0u, allocator.OutstandingBlocks());
    EXPECT_TRUE(global.Errors().empty());
    router.Detach(7);
    dialogHost.Close();
}

TEST_F(DialogHostingTest, BoundControlsEditTheirPropertiesAndFollowThem) {
    DesignToolLibrary library(L"SpatialMixer.dll");
    host::DesignToolWindow designTool;
    PluginPtr mixer(library.CreatePlugin()(275, 799));
    host::DialogHost dialogHost(m_properties, designTool.Window());
    ASSERT_TRUE(dialogHost.Open(*mixer));
    HWND hBypass = dialogHost.ControlOf(L"Bypass");
    ASSERT_EQ(GetDlgItem(dialogHost.Dialog(), 21046), hBypass);

    SendMessageW(hBypass, BM_CLICK, 0, 0);
    VARIANT value;
    ASSERT_TRUE(m_properties.Get(kWindows, L"Bypass", value));
    EXPECT_EQ(VT_BOOL, value.vt);
    EXPECT_EQ(VARIANT_FALSE, value.boolVal);
    m_properties.SetBool(kWindows, L"Bypass", true);
    EXPECT_EQ(BST_CHECKED, SendMessageW(hBypass, BM_GETCHECK, 0, 0));

    EXPECT_TRUE(dialogHost.SetRangeValue(L"MaxObjects", 10));
    ASSERT_TRUE(m_properties.Get(kWindows, L"MaxObjects", value));
    EXPECT_EQ(10, value.lVal);
    EXPECT_EQ(L"10", TextOf(dialogHost.ControlOf(L"MaxObjects")));
    EXPECT_FALSE(dialogHost.SetRangeValue(L"Bypass", 1));
}

TEST_F(DialogHostingTest, TheAttachmentDialogBindsItsBypassBoxToBypassLocal) {
    DesignToolLibrary library(L"SpatialMixer.dll");
    host::DesignToolWindow designTool;
    PluginPtr attachment(library.CreatePlugin()(275, 798));
    host::DialogHost dialogHost(m_properties, designTool.Window());
    ASSERT_TRUE(dialogHost.Open(*attachment));
    ExpectControls(dialogHost.Dialog(),
                   {{L"Button", 21052, L"Bypass", Units(19, 16, 163, 10), kCheckBox}});
    HWND hBox = dialogHost.ControlOf(L"BypassLocal");
    EXPECT_EQ(BST_CHECKED, SendMessageW(hBox, BM_GETCHECK, 0, 0));
    SendMessageW(hBox, BM_CLICK, 0, 0);
    VARIANT value;
    ASSERT_TRUE(m_properties.Get(kWindows, L"BypassLocal", value));
    EXPECT_EQ(VARIANT_FALSE, value.boolVal);
}

TEST_F(DialogHostingTest, TheEffectDialogHoldsItsFrameAndItsRequestReachesTheDesignTool) {
    DesignToolLibrary library(L"SpatialEffect.dll");
    host::DesignToolWindow designTool;
    PluginPtr effect(library.CreatePlugin()(0, 0));
    host::DialogHost dialogHost(m_properties, designTool.Window());
    ASSERT_TRUE(dialogHost.Open(*effect));
    EXPECT_EQ(static_cast<LONG_PTR>(DS_SETFONT | DS_FIXEDSYS | WS_CHILD | WS_CLIPCHILDREN),
              GetWindowLongPtrW(dialogHost.Dialog(), GWL_STYLE));
    ExpectControls(dialogHost.Dialog(), {{L"Button", -1, L"Windows Sonic Effect",
                                          Units(8, 8, 101, 16), kChild | BS_GROUPBOX}});
    EXPECT_TRUE(
        effect->HandleDialogRequest(designTool.Window(), ZV::Orvel::SettingsDialog, nullptr));
    ASSERT_EQ(1u, designTool.PrivateMessages().size());
    EXPECT_EQ(0x4981u, designTool.PrivateMessages()[0].uMsg);
    EXPECT_EQ(47u, designTool.PrivateMessages()[0].wParam);
    EXPECT_EQ(0, designTool.PrivateMessages()[0].lParam);
}

TEST_F(DialogHostingTest, TheSinkHasNoDialogToHost) {
    DesignToolLibrary library(L"SpatialSink.dll");
    host::DesignToolWindow designTool;
    PluginPtr sink(library.CreatePlugin()(0, 0));
    host::DialogHost dialogHost(m_properties, designTool.Window());
    EXPECT_FALSE(dialogHost.Open(*sink));
    EXPECT_EQ(nullptr, dialogHost.Dialog());
    EXPECT_EQ(1u, standin::Live().windows);
}

}  // namespace
