// The shared part of the application framework: the class tree of the application object and
// the calling thread's current module state.

#include <afxwin.h>

namespace {

// What AfxGetModuleState answers while no module state was switched in: the process's own,
// which has no application object and no resources.
AFX_MODULE_STATE g_processModuleState = {nullptr, nullptr, nullptr};

// The module state switched in on this thread, or null.
thread_local AFX_MODULE_STATE* t_pCurrentModuleState = nullptr;

}  // namespace

CObject::CObject() = default;
CObject::~CObject() = default;

CCmdTarget::CCmdTarget() = default;
CCmdTarget::~CCmdTarget() = default;

CWinThread::CWinThread() = default;
CWinThread::~CWinThread() = default;

BOOL CWinThread::InitInstance() {
    return FALSE;
}

int CWinThread::ExitInstance() {
    return 0;
}

CWinApp::CWinApp(LPCTSTR lpszAppName, AFX_MODULE_STATE* pModuleState)
    : m_pszAppName(lpszAppName), m_hInstance(nullptr), m_pModuleState(pModuleState) {
    m_pModuleState->m_pCurrentWinApp = this;
    m_hInstance = m_pModuleState->m_hCurrentInstanceHandle;
}

CWinApp::~CWinApp() {
    if (m_pModuleState->m_pCurrentWinApp == this) {
        m_pModuleState->m_pCurrentWinApp = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

AFX_MODULE_STATE* AFXAPI AfxGetModuleState() {
    return t_pCurrentModuleState != nullptr ? t_pCurrentModuleState : &g_processModuleState;
}

AFX_MODULE_STATE* AFXAPI AfxSetModuleState(AFX_MODULE_STATE* pNewState) {
    AFX_MODULE_STATE* pPrevious = t_pCurrentModuleState;
    t_pCurrentModuleState = pNewState;
    return pPrevious;
}

CWinApp* AFXAPI AfxGetApp() {
    return AfxGetModuleState()->m_pCurrentWinApp;
}

HINSTANCE AFXAPI AfxGetInstanceHandle() {
    return AfxGetModuleState()->m_hCurrentInstanceHandle;
}

HINSTANCE AFXAPI AfxGetResourceHandle() {
    return AfxGetModuleState()->m_hCurrentResourceHandle;
}

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* pNewState)
    : m_pPrevModuleState(AfxSetModuleState(pNewState)) {}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() {
    AfxSetModuleState(m_pPrevModuleState);
}
