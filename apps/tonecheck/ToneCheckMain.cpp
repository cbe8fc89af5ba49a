// tonecheck: holds a recording of the output device's channels (raw 32-bit float little-endian,
// interleaved) against the tones a spatialhost run played (its expectations file), prints one line
// per tone and exits with 1 if any tone did not arrive as it must, or with 3 if every tone arrived
// on its channel at its frequency and level and the only faults were dropouts or timing, or came
// after a dropout (a glitch of the audio server's real-time path, which the harness may run once
// more).
//
//   tonecheck EXPECTATIONS RECORDING CHANNELS [LABEL]

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ToneAnalysis.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: tonecheck EXPECTATIONS RECORDING CHANNELS [LABEL]\n");
        return 2;
    }
    std::ifstream expectFile(argv[1]);
    std::stringstream expectText;
    expectText << expectFile.rdbuf();
    std::vector<tonecheck::ExpectedTone> expected;
    if (!expectFile || !tonecheck::ParseExpectations(expectText.str(), expected) ||
        expected.empty()) {
        std::fprintf(stderr, "tonecheck: no tones in %s\n", argv[1]);
        return 1;
    }
    std::ifstream recordingFile(argv[2], std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(recordingFile)),
                            std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    if (!samples.empty()) {
        std::copy(bytes.begin(), bytes.begin() + samples.size() * sizeof(float),
                  reinterpret_cast<char*>(samples.data()));
    }
    const uint32_t uChannels = static_cast<uint32_t>(std::atoi(argv[3]));
    const char* pszLabel = argc > 4 ? argv[4] : "run";

    const std::vector<tonecheck::MeasuredTone> measured =
        tonecheck::AnalyseRecording(samples, uChannels, 48000, expected);
    uint32_t uFailed = 0;
    bool bOnlyGlitches = true;
    for (size_t uTone = 0; uTone < measured.size(); ++uTone) {
        const tonecheck::MeasuredTone& tone = measured[uTone];
        std::printf(
            "%s tone %zu: expected ch %u %.0f Hz %.1f dBFS | measured ch %u %.1f Hz %.2f dBFS, "
            "others %.0f dBFS, dropouts %u, timing %+.0f ms: %s%s\n",
            pszLabel, uTone, expected[uTone].uChannel, expected[uTone].fFrequency,
            20.0 * std::log10(expected[uTone].fAmplitude), tone.uChannel, tone.fFrequency,
            tone.fLevelDb, tone.fOtherLevelDb, tone.uDropouts, tone.fTimingErrorMs,
            tone.bPassed ? "ok" : "FAILED ", tone.failure.c_str());
        uFailed += tone.bPassed ? 0 : 1;
        bOnlyGlitches = bOnlyGlitches && (tone.bPassed || tone.bGlitchOnly);
    }
    std::printf("%s: %zu passed, %u failed\n", pszLabel, measured.size() - uFailed, uFailed);
    if (uFailed == 0) {
        return 0;
    }
    return bOnlyGlitches ? 3 : 1;
}
