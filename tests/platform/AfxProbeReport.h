// What the probe library reports about its start-up.
#pragma once

#include <windows.h>

class CWinApp;

struct AfxProbeReport {
    bool bSawLateStaticObject;        // InitInstance ran after all static initialisation
    bool bFrameworkInitInstance;      // CWinApp::InitInstance answered TRUE
    HINSTANCE hResourceDuringInit;    // AfxGetResourceHandle inside InitInstance
    CWinApp* pAppDuringInit;          // AfxGetApp inside InitInstance
    CWinApp* pApp;                    // the library's application object
    HINSTANCE hResourceOutsideState;  // AfxGetResourceHandle on the caller's thread, unswitched
    HINSTANCE hResourceInsideState;   // the same under AFX_MANAGE_STATE(AfxGetStaticModuleState())
};

typedef AfxProbeReport (*AfxProbeGetReportFn)();
