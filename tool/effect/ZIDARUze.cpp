#include "ZIDARUze.h"

#include "DesignToolApp.h"

BOOL ZIDARUze::InitInstance() {
    return ZV::Orvel::InitDesignToolApp(*this);
}

// The library's one application object.
ZIDARUze theApp;
