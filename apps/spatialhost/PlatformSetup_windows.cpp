#include "PlatformSetup.h"

namespace spatialhost {

void SetUpPlatform() {}

bool LoseOutput() {
    return false;
}

bool RestoreOutput() {
    return false;
}

bool HarnessRecordsOutput() {
    return true;
}

}  // namespace spatialhost
