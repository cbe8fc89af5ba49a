#include "PlatformSetup.h"

namespace spatialhost {

void SetUpPlatform() {}

bool LoseOutput() {
    return false;
}

bool RestoreOutput() {
    return false;
}

}  // namespace spatialhost
