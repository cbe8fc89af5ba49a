// The state of a plug-in's render stream, shared between the host's audio thread and the render
// worker as one 32-bit word. StreamOpened: a stream that the render worker re-opened, waiting for
// the audio thread to take it over at its next frame (it then becomes StreamRunning).
#pragma once

#include <stdint.h>

enum StreamState : int32_t {
    StreamClosed = 0,
    StreamRunning = 1,
    StreamLost = 2,
    StreamOpened = 3,
};
