// How long the engine's audio thread is held by a plug-in that re-opens its lost stream.
//
// The session plays silence while the output is taken away and brought back, cycle after cycle:
// 0.6 s of steady playing, the output lost (on the stand-in by the run itself, on Windows by the
// harness, which kills the audio server when MARKERS\lose-K appears, answers MARKERS\lost-K, starts
// the server again when MARKERS\restore-K appears and answers MARKERS\back-K), 0.25 s without it,
// then 1.6 s with it back: the plug-ins' first re-open, at once, fails; the next one, a second
// later, opens. The longest frame of each cycle is the frame that re-opens. Printed: each cycle's
// longest frame with the time of the sink's and the effect's calls in it, then the worst and the
// median over the cycles, against the median, 99th percentile and longest of a steady frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "EngineSession.h"

namespace spatialhost {

// False when the harness did not answer within ten seconds.
bool MeasureReopens(EngineSession& io_session, uint32_t in_uCycles, const std::string& in_markers,
                    std::FILE* io_pLog);

}  // namespace spatialhost
