// The three design-tool libraries as the design tool loads them: with and without the sound
// engine library, their registration lists, their exports and nothing else exported.

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include <string>
#include <vector>

#include "DesignToolLibrary.h"
#include "ElfExports.h"
#include "OrvelSoundEngine.h"
#include "StandinFixture.h"
#include "ToolTestSupport.h"
#include "ZvResult.h"

namespace {

using testing_support::StandinTest;
using tool_tests::DesignToolLibrary;
using tool_tests::PluginPtr;

struct ExpectedRecord {
    uint32_t eType;
    uint32_t uPluginId;
    bool bHasPluginFactory;
};

struct LibraryCase {
    const wchar_t* pszName;
    const char* pszPath;
    bool bEngineLinked;
    std::vector<ExpectedRecord> records;  // the list from its head, once the engine is linked
    std::vector<std::string> exports;
};

std::vector<LibraryCase> Libraries() {
    return {
        {L"SpatialSink.dll",
         ZV_SPATIALSINK_PATH,
         ZV_SPATIALSINK_ENGINE_LINKED != 0,
         {{ZvPluginTypeSink, kZvSinkPluginId, true}},
         {"ZvCreatePlugin", "g_pZVPluginList"}},
        {L"SpatialEffect.dll",
         ZV_SPATIALEFFECT_PATH,
         ZV_SPATIALEFFECT_ENGINE_LINKED != 0,
         {{ZvPluginTypeEffect, kZvEffectPluginId, true}},
         {"ZvCreatePlugin", "g_pZVPluginList"}},
        {L"SpatialMixer.dll",
         ZV_SPATIALMIXER_PATH,
         ZV_SPATIALMIXER_ENGINE_LINKED != 0,
         {{ZvPluginTypeEffect, kZvMixerAttachmentPluginId, false},
          {ZvPluginTypeMixer, kZvMixerPluginId, true}},
         {"ZvCreatePlugin", "ZvGetSoundEngineCallbacks", "g_pZVPluginList"}},
    };
}

class DesignToolLibraryTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        host::ClearReceivedLists();
        standin::ClearCallLog();
    }
    void TearDown() override {
        host::ClearReceivedLists();
        StandinTest::TearDown();
    }
};

TEST_F(DesignToolLibraryTest, EachLibraryLoadsAndHandsItsListToTheEngine) {
    for (const LibraryCase& library : Libraries()) {
        SCOPED_TRACE(library.pszPath);
        host::ClearReceivedLists();
        standin::ClearCallLog();
        DesignToolLibrary loaded(library.pszName);
        ASSERT_NE(nullptr, loaded.Module());
        ZvPluginRegistration* pHead = loaded.ListHead();
        const std::vector<host::ReceivedList> lists = host::ReceivedLists();
        if (!library.bEngineLinked) {
            // Nothing registered yet: the library does not even look for the engine.
            EXPECT_EQ(nullptr, pHead);
            EXPECT_TRUE(lists.empty());
            EXPECT_EQ(1u, standin::CallCount("LoadLibraryW"));
            continue;
        }
        ASSERT_EQ(1u, lists.size());
        EXPECT_EQ(pHead, lists[0].pHead);
        ASSERT_EQ(library.records.size(), lists[0].records.size());
        for (size_t i = 0; i < library.records.size(); ++i) {
            const host::ReceivedRecord& received = lists[0].records[i];
            EXPECT_EQ(library.records[i].eType, received.eType);
            EXPECT_EQ(kZvCompanyId, received.uCompanyId);
            EXPECT_EQ(library.records[i].uPluginId, received.uPluginId);
            EXPECT_EQ(library.records[i].bHasPluginFactory, received.pCreatePlugin != nullptr);
            EXPECT_NE(nullptr, received.pCreateParam);
        }
    }
}

TEST_F(DesignToolLibraryTest, EachLibraryLoadsWithoutTheEngineLibraryOrItsExport) {
    for (const LibraryCase& library : Libraries()) {
        SCOPED_TRACE(library.pszPath);
        host::ClearReceivedLists();
        // The library's own load is the first LoadLibraryW, the engine's the second.
        standin::FailCall("LoadLibraryW", 2, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
        {
            DesignToolLibrary loaded(library.pszName);
            EXPECT_NE(nullptr, loaded.Module());
            EXPECT_NE(nullptr, loaded.CreatePlugin());
        }
        standin::ClearFaults();
        standin::FailCall("GetProcAddress", 1, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
        {
            DesignToolLibrary loaded(library.pszName);
            EXPECT_NE(nullptr, loaded.Module());
        }
        standin::ClearFaults();
        EXPECT_TRUE(host::ReceivedLists().empty());
    }
}

TEST_F(DesignToolLibraryTest, EachLibraryExportsExactlyItsListedSymbols) {
    for (const LibraryCase& library : Libraries()) {
        std::vector<std::string> exports;
        std::string error;
        ASSERT_TRUE(testing_support::ReadElfExports(library.pszPath, exports, error))
            << library.pszPath << " " << error;
        std::sort(exports.begin(), exports.end());
        EXPECT_EQ(library.exports, exports) << library.pszPath;
    }
}

TEST_F(DesignToolLibraryTest, TheSinkAndEffectLibrariesCreateTheirOneClassForAnyPair) {
    DesignToolLibrary sink(L"SpatialSink.dll");
    DesignToolLibrary effect(L"SpatialEffect.dll");
    ASSERT_NE(nullptr, sink.CreatePlugin());
    ASSERT_NE(nullptr, effect.CreatePlugin());
    EXPECT_EQ(nullptr, sink.GetSoundEngineCallbacks());
    EXPECT_EQ(nullptr, effect.GetSoundEngineCallbacks());
    const uint16_t aPairs[][2] = {{0, 0}, {275, 170}, {275, 270}, {275, 799}, {65535, 65535}};
    for (const auto& pair : aPairs) {
        uint32_t uDialogId = 0;
        const ZV::Orvel::PropertyControlBinding* pTable = nullptr;
        PluginPtr sinkPlugin(sink.CreatePlugin()(pair[0], pair[1]));
        ASSERT_NE(nullptr, sinkPlugin);
        EXPECT_FALSE(sinkPlugin->DescribeDialog(ZV::Orvel::SettingsDialog, uDialogId, pTable));
        PluginPtr effectPlugin(effect.CreatePlugin()(pair[0], pair[1]));
        ASSERT_NE(nullptr, effectPlugin);
        EXPECT_TRUE(effectPlugin->DescribeDialog(ZV::Orvel::SettingsDialog, uDialogId, pTable));
        EXPECT_EQ(104u, uDialogId);
    }
}

TEST_F(DesignToolLibraryTest, TheMixerLibraryAnswersEveryPair) {
    DesignToolLibrary mixer(L"SpatialMixer.dll");
    ZvCreatePluginExport pfnCreate = mixer.CreatePlugin();
    ZvGetSoundEngineCallbacksExport pfnCallbacks = mixer.GetSoundEngineCallbacks();
    ASSERT_NE(nullptr, pfnCreate);
    ASSERT_NE(nullptr, pfnCallbacks);

    // What the library's own records hold (nothing while the engine side is not built in).
    ZvCreatePluginFn pfnMixerEngine = nullptr;
    ZvCreateParamFn pfnMixerParams = nullptr;
    ZvCreateParamFn pfnAttachmentParams = nullptr;
    for (ZvPluginRegistration* pRecord = mixer.ListHead(); pRecord != nullptr;
         pRecord = pRecord->pNext) {
        if (pRecord->uPluginId == kZvMixerPluginId) {
            pfnMixerEngine = pRecord->pCreatePlugin;
            pfnMixerParams = pRecord->pCreateParam;
        } else if (pRecord->uPluginId == kZvMixerAttachmentPluginId) {
            pfnAttachmentParams = pRecord->pCreateParam;
        }
    }

    const ZvCreatePluginFn pfnEngineSentinel = reinterpret_cast<ZvCreatePluginFn>(0x10);
    const ZvCreateParamFn pfnParamsSentinel = reinterpret_cast<ZvCreateParamFn>(0x20);
    const uint16_t aCompanies[] = {0, 1, 274, 275, 276, 65535};
    const uint16_t aPlugins[] = {0, 1, 170, 270, 797, 798, 799, 800, 65535};
    for (uint16_t uCompany : aCompanies) {
        for (uint16_t uPlugin : aPlugins) {
            SCOPED_TRACE(std::to_string(uCompany) + "/" + std::to_string(uPlugin));
            const bool bMixer = uCompany == 275 && uPlugin == 799;
            const bool bAttachment = uCompany == 275 && uPlugin == 798;

            PluginPtr plugin(pfnCreate(uCompany, uPlugin));
            uint32_t uDialogId = 0;
            const ZV::Orvel::PropertyControlBinding* pTable = nullptr;
            if (bMixer || bAttachment) {
                ASSERT_NE(nullptr, plugin);
                EXPECT_TRUE(plugin->DescribeDialog(ZV::Orvel::SettingsDialog, uDialogId, pTable));
                EXPECT_EQ(bMixer ? 104u : 101u, uDialogId);
            } else {
                EXPECT_EQ(nullptr, plugin);
            }

            ZvCreatePluginFn pfnEngine = pfnEngineSentinel;
            ZvCreateParamFn pfnParams = pfnParamsSentinel;
            EXPECT_TRUE(pfnCallbacks(uCompany, uPlugin, &pfnEngine, &pfnParams));
            if (bMixer) {
                EXPECT_EQ(pfnMixerEngine, pfnEngine);
                EXPECT_EQ(pfnMixerParams, pfnParams);
            } else if (bAttachment) {
                EXPECT_EQ(nullptr, pfnEngine);
                EXPECT_EQ(pfnAttachmentParams, pfnParams);
            } else {
                EXPECT_EQ(pfnEngineSentinel, pfnEngine);
                EXPECT_EQ(pfnParamsSentinel, pfnParams);
            }
            // A missing output is skipped, not written through.
            EXPECT_TRUE(pfnCallbacks(uCompany, uPlugin, nullptr, nullptr));
            pfnParams = pfnParamsSentinel;
            EXPECT_TRUE(pfnCallbacks(uCompany, uPlugin, nullptr, &pfnParams));
        }
    }
}

TEST_F(DesignToolLibraryTest, ALibraryUnloadsAndLoadsAgainCleanly) {
    for (int i = 0; i < 2; ++i) {
        DesignToolLibrary mixer(L"SpatialMixer.dll");
        ASSERT_NE(nullptr, mixer.Module());
        PluginPtr plugin(mixer.CreatePlugin()(275, 799));
        ASSERT_NE(nullptr, plugin);
        EXPECT_EQ(mixer.Module(), plugin->GetResourceModule());
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(L"SpatialMixer.dll"));
}

}  // namespace
