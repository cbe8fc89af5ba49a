// The application object of the SpatialEffect design-tool library.
#pragma once

#include <afxwin.h>

class ZIDARUze final : public CWinApp {
public:
    ZIDARUze() = default;

    // Hands the library's registration list to the sound engine (ZV::Orvel::InitDesignToolApp).
    BOOL InitInstance() override;
};
