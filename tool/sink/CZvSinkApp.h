// The application object of the SpatialSink design-tool library.
#pragma once

#include <afxwin.h>

class CZvSinkApp final : public CWinApp {
public:
    CZvSinkApp() = default;

    // Hands the library's registration list to the sound engine (ZV::Orvel::InitDesignToolApp).
    BOOL InitInstance() override;
};
