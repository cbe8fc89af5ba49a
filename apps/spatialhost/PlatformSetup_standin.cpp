#include "PlatformSetup.h"

#include "standin/Renderer.h"

namespace spatialhost {

void SetUpPlatform() {
    standin::SetPacing(standin::Pacing::RealTime);
}

}  // namespace spatialhost
