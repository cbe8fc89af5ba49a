// The application framework (MFC) as the design-tool DLLs use it: the application object, the
// framework's state of each module and the switch to it.
//
// Off Windows the framework is the stand-in's shared library afxstandin, and each module that
// uses it also links the framework's module part (afxstandin_module), which holds the module's
// own state (AfxGetStaticModuleState) and its entry point. The loader calls that entry point when
// LoadLibraryW loads the module, after its static initialisation: it runs the application
// object's InitInstance within the module's state, and a FALSE result makes the load fail.
#pragma once

#include <windows.h>

#ifndef LPCTSTR
typedef LPCWSTR LPCTSTR;
#endif

#define AFXAPI

// Members that each module compiles for itself, because they name the module's own state.
#define STANDIN_AFX_MODULE_LOCAL __attribute__((visibility("hidden")))

class CWinApp;

// The framework's state of one module. Its fields are written while the module is initialised
// and attached, on the thread that loads it (under the loader lock), and only read afterwards.
// Which state is current is kept per thread.
struct AFX_MODULE_STATE {
    CWinApp* m_pCurrentWinApp;           // the module's application object, or null
    HINSTANCE m_hCurrentInstanceHandle;  // the module's HMODULE
    HINSTANCE m_hCurrentResourceHandle;  // where the module's resources are looked for
};

class __declspec(dllimport) CObject {
public:
    virtual ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

protected:
    CObject();
};

class __declspec(dllimport) CCmdTarget : public CObject {
public:
    CCmdTarget();
    ~CCmdTarget() override;
};

class __declspec(dllimport) CWinThread : public CCmdTarget {
public:
    CWinThread();
    ~CWinThread() override;
    // FALSE: a thread object must say what it initialises.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
};

// One global object of a class derived from CWinApp per module. Constructing it makes it the
// application object of the module being initialised.
class __declspec(dllimport) CWinApp : public CWinThread {
public:
    STANDIN_AFX_MODULE_LOCAL explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;
    // The framework's own initialisation; TRUE.
    BOOL InitInstance() override;
    int ExitInstance() override;

    LPCTSTR m_pszAppName;
    HINSTANCE m_hInstance;

protected:
    CWinApp(LPCTSTR lpszAppName, AFX_MODULE_STATE* pModuleState);

private:
    AFX_MODULE_STATE* m_pModuleState;
};

// The state of the module that calls it. Defined by the framework's module part in each module.
AFX_MODULE_STATE* AFXAPI AfxGetStaticModuleState();

inline CWinApp::CWinApp(LPCTSTR lpszAppName) : CWinApp(lpszAppName, AfxGetStaticModuleState()) {}

// The calling thread's current module state (the process's own while nothing switched it).
__declspec(dllimport) AFX_MODULE_STATE* AFXAPI AfxGetModuleState();
// Makes pNewState current on the calling thread and returns the state it replaces.
__declspec(dllimport) AFX_MODULE_STATE* AFXAPI AfxSetModuleState(AFX_MODULE_STATE* pNewState);
__declspec(dllimport) CWinApp* AFXAPI AfxGetApp();
__declspec(dllimport) HINSTANCE AFXAPI AfxGetInstanceHandle();
__declspec(dllimport) HINSTANCE AFXAPI AfxGetResourceHandle();

// Switches the calling thread to a module's state for the life of the object.
class __declspec(dllimport) AFX_MAINTAIN_STATE2 {
public:
    explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* pNewState);
    ~AFX_MAINTAIN_STATE2();
    AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
    AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

private:
    AFX_MODULE_STATE* m_pPrevModuleState;
};

#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _ctlState(p);
