// The application object of the SpatialMixer design-tool library.
#pragma once

#include <afxwin.h>

class CSpatialMixerApp final : public CWinApp {
public:
    CSpatialMixerApp() = default;

    // Hands the library's registration list to the sound engine (ZV::Orvel::InitDesignToolApp).
    BOOL InitInstance() override;
};
