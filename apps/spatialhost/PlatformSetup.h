// What the platform needs before the host plays: nothing on Windows; on Linux the stand-in
// renderer is told to pace its streams by the clock, as a real one does (its default, stepped
// pacing, is for tests that drive every pass themselves).
#pragma once

namespace spatialhost {

void SetUpPlatform();

}  // namespace spatialhost
