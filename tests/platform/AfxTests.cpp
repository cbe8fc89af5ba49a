// The application framework: InitInstance at load time, in the module's own state, after static
// initialisation; a refusing InitInstance fails the load; module states switch and nest.

#include <gtest/gtest.h>

#include <afxwin.h>

#include <stdlib.h>

#include <string>

#include "AfxProbeReport.h"
#include "StandinFixture.h"

namespace {

using testing_support::StandinTest;

int Counter(const char* in_pszName) {
    const char* pszValue = getenv(in_pszName);
    return pszValue == nullptr ? 0 : atoi(pszValue);
}

class AfxTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        unsetenv("AFXPROBE_INIT");
        unsetenv("AFXPROBE_EXIT");
    }
};

TEST_F(AfxTest, LoadingRunsInitInstanceOnceAfterStaticInitialisationInTheModuleState) {
    HMODULE hProbe = LoadLibraryW(L"AfxProbeAccept.dll");
    ASSERT_NE(nullptr, hProbe);
    EXPECT_EQ(1, Counter("AFXPROBE_INIT"));
    auto pfnReport = reinterpret_cast<AfxProbeGetReportFn>(
        reinterpret_cast<void*>(GetProcAddress(hProbe, "AfxProbeGetReport")));
    ASSERT_NE(nullptr, pfnReport);
    const AfxProbeReport report = pfnReport();
    EXPECT_TRUE(report.bSawLateStaticObject);
    EXPECT_TRUE(report.bFrameworkInitInstance);
    EXPECT_EQ(hProbe, report.hResourceDuringInit);
    EXPECT_EQ(report.pApp, report.pAppDuringInit);
    EXPECT_EQ(nullptr, report.hResourceOutsideState);
    EXPECT_EQ(hProbe, report.hResourceInsideState);

    // A second load attaches nothing again; only the last release detaches.
    HMODULE hAgain = LoadLibraryW(L"AfxProbeAccept.dll");
    EXPECT_EQ(hProbe, hAgain);
    EXPECT_EQ(1, Counter("AFXPROBE_INIT"));
    EXPECT_TRUE(FreeLibrary(hAgain));
    EXPECT_EQ(0, Counter("AFXPROBE_EXIT"));
    EXPECT_TRUE(FreeLibrary(hProbe));
    EXPECT_EQ(1, Counter("AFXPROBE_EXIT"));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"AfxProbeAccept.dll"));
}

TEST_F(AfxTest, AnInitInstanceThatRefusesFailsTheLoadAndUnloadsTheLibrary) {
    EXPECT_EQ(nullptr, LoadLibraryW(L"AfxProbeRefuse.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), GetLastError());
    EXPECT_EQ(1, Counter("AFXPROBE_INIT"));
    EXPECT_EQ(1, Counter("AFXPROBE_EXIT"));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"AfxProbeRefuse.dll"));
}

TEST_F(AfxTest, ModuleStatesSwitchForAScopeAndNest) {
    HMODULE hSelf = GetModuleHandleW(nullptr);
    AFX_MODULE_STATE other = {nullptr, nullptr, reinterpret_cast<HINSTANCE>(0x1234)};
    EXPECT_EQ(nullptr, AfxGetResourceHandle());
    EXPECT_EQ(hSelf, AfxGetStaticModuleState()->m_hCurrentResourceHandle);
    {
        AFX_MANAGE_STATE(AfxGetStaticModuleState());
        EXPECT_EQ(hSelf, AfxGetResourceHandle());
        EXPECT_EQ(hSelf, AfxGetInstanceHandle());
        {
            AFX_MANAGE_STATE(&other);
            EXPECT_EQ(other.m_hCurrentResourceHandle, AfxGetResourceHandle());
        }
        EXPECT_EQ(hSelf, AfxGetResourceHandle());
    }
    EXPECT_EQ(nullptr, AfxGetResourceHandle());
}

}  // namespace
