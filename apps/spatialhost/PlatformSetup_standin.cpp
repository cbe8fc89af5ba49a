#include "PlatformSetup.h"

#include "standin/Renderer.h"

namespace spatialhost {

void SetUpPlatform() {
    standin::SetPacing(standin::Pacing::RealTime);
}

bool LoseOutput() {
    standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED, standin::LostSignalling::Continues);
    return true;
}

bool RestoreOutput() {
    standin::SetDefaultEndpoint(standin::EndpointConfig());
    return true;
}

bool HarnessRecordsOutput() {
    return false;
}

}  // namespace spatialhost
