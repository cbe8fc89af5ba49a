// The application framework (MFC) as the design-tool DLLs use it, for the MinGW-w64 build, which
// has no MFC: the application object, the framework's state of each module and the switch to it.
// The interface is the one the Linux stand-in's afxwin.h offers.
//
// The framework is a static library (zv_afx_mingw) linked into each DLL that uses it, so every
// module carries its own copy; afx/AfxModule_mingw.cpp is the module's part: its state
// (AfxGetStaticModuleState) and its DllMain, which the C runtime calls after the module's static
// initialisation and which runs the application object's InitInstance within the module's state
// (a FALSE result makes the load fail).
#pragma once

#include <windows.h>

#define AFXAPI

class CWinApp;

// The framework's state of one module. Its fields are written while the module is initialised
// and attached, on the thread that loads it (under the loader lock), and only read afterwards.
// Which state is current is kept per thread.
struct AFX_MODULE_STATE {
    CWinApp* m_pCurrentWinApp;           // the module's application object, or null
    HINSTANCE m_hCurrentInstanceHandle;  // the module's HMODULE
    HINSTANCE m_hCurrentResourceHandle;  // where the module's resources are looked for
};

class CObject {
public:
    virtual ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

protected:
    CObject();
};

class CCmdTarget : public CObject {
public:
    CCmdTarget();
    ~CCmdTarget() override;
};

class CWinThread : public CCmdTarget {
public:
    CWinThread();
    ~CWinThread() override;
    // FALSE: a thread object must say what it initialises.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
};

// One global object of a class derived from CWinApp per module. Constructing it makes it the
// application object of the module being initialised.
class CWinApp : public CWinThread {
public:
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;
    // The framework's own initialisation; TRUE.
    BOOL InitInstance() override;
    int ExitInstance() override;

    LPCTSTR m_pszAppName;
    HINSTANCE m_hInstance;

private:
    AFX_MODULE_STATE* m_pModuleState;
};

// The state of the module that calls it (each module has its own copy of the framework).
AFX_MODULE_STATE* AFXAPI AfxGetStaticModuleState();
// The calling thread's current module state (the module's own while nothing switched it).
AFX_MODULE_STATE* AFXAPI AfxGetModuleState();
// Makes pNewState current on the calling thread and returns the state it replaces.
AFX_MODULE_STATE* AFXAPI AfxSetModuleState(AFX_MODULE_STATE* pNewState);
CWinApp* AFXAPI AfxGetApp();
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();

// Switches the calling thread to a module's state for the life of the object.
class AFX_MAINTAIN_STATE2 {
public:
    explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* pNewState);
    ~AFX_MAINTAIN_STATE2();
    AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
    AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

private:
    AFX_MODULE_STATE* m_pPrevModuleState;
};

#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _ctlState(p);
