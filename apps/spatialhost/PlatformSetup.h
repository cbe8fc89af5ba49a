// What the platform needs before the host plays: nothing on Windows; on Linux the stand-in
// renderer is told to pace its streams by the clock, as a real one does (its default, stepped
// pacing, is for tests that drive every pass themselves).
//
// A run that takes the output away and brings it back does so itself on the stand-in; on Windows
// the harness around the host does it (kills the audio server and starts it again), and these
// answer false.
#pragma once

namespace spatialhost {

void SetUpPlatform();
// The output device is lost from now on (its renderer goes on asking for passes, whose begin
// fails, as Wine's does when its audio server goes away). False: the harness must do it.
bool LoseOutput();
// A working output device is there again. False: the harness must do it.
bool RestoreOutput();
// Whether a harness around the host records the output device (on Windows; not on the stand-in).
bool HarnessRecordsOutput();

}  // namespace spatialhost
