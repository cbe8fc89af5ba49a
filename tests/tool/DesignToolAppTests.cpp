// What every design-tool application object does at load: hand a non-empty registration list to
// the sound engine library if it can, report an empty one, and never fail.

#include <gtest/gtest.h>

#include <afxwin.h>

#include "AssertRecorder.h"
#include "DesignToolApp.h"
#include "OrvelSoundEngine.h"
#include "StandinFixture.h"
#include "ZvPluginRegistration.h"

namespace {

using testing_support::StandinTest;

class TestApp final : public CWinApp {};

class DesignToolAppTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        host::ClearReceivedLists();
        standin::ClearCallLog();
        m_pSavedList = g_pZVPluginList;
        g_pZVPluginList = nullptr;
    }
    void TearDown() override {
        g_pZVPluginList = m_pSavedList;
        host::ClearReceivedLists();
        StandinTest::TearDown();
    }

    ZvPluginRegistration* m_pSavedList = nullptr;
};

TEST_F(DesignToolAppTest, AnEmptyListIsReportedAndTheEngineNeverLoaded) {
    testing_support::AssertRecorder checks;
    TestApp app;
    EXPECT_EQ(TRUE, ZV::Orvel::InitDesignToolApp(app));
    EXPECT_TRUE(checks.Saw(
        "!\"g_pZVPluginList is NULL. Did you use the ZV_STATIC_LINK_PLUGIN macro in your DLL?\"",
        "DesignToolApp"));
    EXPECT_EQ(0u, standin::CallCount("LoadLibraryW"));
    EXPECT_TRUE(host::ReceivedLists().empty());
}

TEST_F(DesignToolAppTest, TheListHeadGoesToRegisterOrvelPlugin) {
    testing_support::AssertRecorder checks;
    ZvPluginRegistration first(ZvPluginTypeMixer, kZvCompanyId, kZvMixerPluginId, nullptr, nullptr);
    ZvPluginRegistration second(ZvPluginTypeEffect, kZvCompanyId, kZvMixerAttachmentPluginId,
                                nullptr, nullptr);
    TestApp app;
    EXPECT_EQ(TRUE, ZV::Orvel::InitDesignToolApp(app));
    EXPECT_TRUE(checks.Reports().empty());
    const std::vector<std::string> calls = standin::CallLog();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("LoadLibraryW", calls[0]);
    EXPECT_EQ("GetProcAddress", calls[1]);

    const std::vector<host::ReceivedList> lists = host::ReceivedLists();
    ASSERT_EQ(1u, lists.size());
    EXPECT_EQ(&second, lists[0].pHead);
    ASSERT_EQ(2u, lists[0].records.size());
    EXPECT_EQ(798u, lists[0].records[0].uPluginId);
    EXPECT_EQ(799u, lists[0].records[1].uPluginId);
}

TEST_F(DesignToolAppTest, AMissingEngineOrExportIsNoFailure) {
    ZvPluginRegistration record(ZvPluginTypeSink, kZvCompanyId, kZvSinkPluginId, nullptr, nullptr);
    TestApp app;
    standin::FailCall("LoadLibraryW", 1, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(TRUE, ZV::Orvel::InitDesignToolApp(app));
    EXPECT_EQ(0u, standin::CallCount("GetProcAddress"));
    standin::FailCall("GetProcAddress", 1, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(TRUE, ZV::Orvel::InitDesignToolApp(app));
    EXPECT_TRUE(host::ReceivedLists().empty());
    // And with both present again, the list arrives.
    EXPECT_EQ(TRUE, ZV::Orvel::InitDesignToolApp(app));
    EXPECT_EQ(1u, host::ReceivedLists().size());
}

}  // namespace
