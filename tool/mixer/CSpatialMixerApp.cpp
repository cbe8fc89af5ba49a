#include "CSpatialMixerApp.h"

#include "DesignToolApp.h"

BOOL CSpatialMixerApp::InitInstance() {
    return ZV::Orvel::InitDesignToolApp(*this);
}

// The library's one application object.
CSpatialMixerApp theApp;
