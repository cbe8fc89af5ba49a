// A library with an application object, for the tests of the framework and the loader. Built
// twice: AfxProbeAccept (InitInstance answers TRUE) and AfxProbeRefuse (FALSE). InitInstance and
// ExitInstance count their calls in the environment variables AFXPROBE_INIT and AFXPROBE_EXIT,
// which outlive the library.

#include <afxwin.h>

#include <stdio.h>
#include <stdlib.h>

#include "AfxProbeReport.h"

extern bool g_bLateObjectConstructed;  // AfxProbeLate.cpp, linked after this file

namespace {

AfxProbeReport g_report = {};

void Bump(const char* in_pszName) {
    const char* pszValue = getenv(in_pszName);
    const int iCount = pszValue == nullptr ? 0 : atoi(pszValue);
    // No std::to_string: its unique symbols would keep the library from unloading.
    char szValue[16];
    snprintf(szValue, sizeof(szValue), "%d", iCount + 1);
    setenv(in_pszName, szValue, 1);
}

class CProbeApp final : public CWinApp {
public:
    BOOL InitInstance() override {
        Bump("AFXPROBE_INIT");
        g_report.bSawLateStaticObject = g_bLateObjectConstructed;
        g_report.hResourceDuringInit = AfxGetResourceHandle();
        g_report.pAppDuringInit = AfxGetApp();
        g_report.bFrameworkInitInstance = CWinApp::InitInstance() == TRUE;
        return AFXPROBE_ACCEPT;
    }
    int ExitInstance() override {
        Bump("AFXPROBE_EXIT");
        return CWinApp::ExitInstance();
    }
};

CProbeApp theApp;

}  // namespace

extern "C" __declspec(dllexport) AfxProbeReport AfxProbeGetReport() {
    AfxProbeReport report = g_report;
    report.pApp = &theApp;
    report.hResourceOutsideState = AfxGetResourceHandle();
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    report.hResourceInsideState = AfxGetResourceHandle();
    return report;
}
