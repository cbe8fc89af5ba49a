#include "PlatformSetup.h"

namespace spatialhost {

void SetUpPlatform() {}

}  // namespace spatialhost
