// The shared part of the application framework for the MinGW-w64 build: the class tree of the
// application object and the calling thread's current module state.

#include <afxwin.h>

namespace {

// The module state switched in on this thread, or null: then the module's own is current.
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

CWinApp::CWinApp(LPCTSTR lpszAppName)
    : m_pszAppName(lpszAppName), m_hInstance(nullptr), m_pModuleState(AfxGetStaticModuleState()) {
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
    return t_pCurrentModuleState != nullptr ? t_pCurrentModuleState : AfxGetStaticModuleState();
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
