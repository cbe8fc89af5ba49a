#include "CZvSinkApp.h"

#include "DesignToolApp.h"

BOOL CZvSinkApp::InitInstance() {
    return ZV::Orvel::InitDesignToolApp(*this);
}

// The library's one application object.
CZvSinkApp theApp;
