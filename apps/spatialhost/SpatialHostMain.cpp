// spatialhost: the test host engine as a program of its own, using only the Windows API and the
// plug-in libraries' registration lists. Built for Windows (scripts/windows-test.sh runs it under
// Wine) and, against the stand-in, on Linux.
//
//   spatialhost probe                          the renderer's answers, one "key: value" each
//   spatialhost sink CONFIG SINK EXPECT        a tone on each speaker of the sink's layout
//   spatialhost effect EFFECT SINK EXPECT      a tone on each channel of a 12-channel effect bus
//   spatialhost mixer MIXER SINK EXPECT        a tone from each of seven mono voices of a mixer
//   spatialhost loss MARKERS SINK EXPECT       the output lost and back: see RunLoss
//   spatialhost reopen CYCLES MARKERS SINK EFFECT|- EXPECT
//                                              how long re-opens hold the audio thread: see
//                                              ReopenTiming.h; then a tone on each front speaker
//   spatialhost rate RATE MARKERS SINK EFFECT MIXER
//                                              an engine at RATE against the renderer's rate:
//                                              see RunRate
//
// SINK, EFFECT and MIXER name the libraries (ZvSpatialSink.dll or SpatialSink.dll, ...).
//   spatialhost designtool LIBRARY ENGINE      a design-tool library loads and hands over its list
//
// EXPECT is the file the tones are written to ("channel frequency amplitude start_ms
// duration_ms", see ToneSchedule), for tonecheck to hold the recording against. The exit code is
// 0 when the run went as it must, 1 otherwise, 2 for a usage error, 3 when a library does not
// carry the plug-in the run needs.

#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AssertHook.h"
#include "DesignToolCheck.h"
#include "EngineSession.h"
#include "MarkerFiles.h"
#include "PlatformSetup.h"
#include "ReopenTiming.h"
#include "RendererProbe.h"
#include "ToneSchedule.h"

namespace {

// The host's own checks (the host headers' accessors) report here.
void PrintCheck(const char* in_pszExpression, const char* in_pszSource, int in_iLine) {
    std::fprintf(stderr, "check failed: %s (%s:%d)\n", in_pszExpression, in_pszSource, in_iLine);
}

}  // namespace

ZvAssertHook g_pfnZvAssertHook = &PrintCheck;

namespace spatialhost {
namespace {

constexpr uint32_t kLeadInFrames =
    kSampleRate * 4 / 10;  // the output's start-up happens in silence
constexpr uint32_t kToneFrames = kSampleRate * 3 / 10;
constexpr uint32_t kGapFrames = kSampleRate * 2 / 10;
constexpr float kAmplitude = 0.25f;
// A library that does not carry the plug-in at all (the harness says so in its failure).
constexpr int kExitPluginMissing = 3;

int Usage() {
    std::fprintf(stderr,
                 "usage: spatialhost probe | sink CONFIG SINK EXPECT | effect EFFECT SINK EXPECT "
                 "| mixer MIXER SINK EXPECT | loss MARKERS SINK EXPECT | reopen CYCLES MARKERS "
                 "SINK EFFECT|- EXPECT | rate RATE MARKERS SINK EFFECT MIXER | designtool LIBRARY "
                 "ENGINE\n");
    return 2;
}

// COM for the calling thread, for the life of the object (the host's threads are expected to have
// it, and the plug-ins' desktop builds rely on that).
class ComApartment {
public:
    ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

std::wstring Wide(const char* in_psz) {
    std::wstring text;
    for (; *in_psz != '\0'; ++in_psz) {
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*in_psz)));
    }
    return text;
}

float ToneFrequency(uint32_t in_uIndex) {
    return 250.0f + 125.0f * static_cast<float>(in_uIndex);
}

bool WriteExpectations(const ToneSchedule& in_schedule, const char* in_pszPath) {
    std::FILE* pFile = std::fopen(in_pszPath, "w");
    if (pFile == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", in_pszPath);
        return false;
    }
    in_schedule.WriteExpectations(pFile);
    return std::fclose(pFile) == 0;
}

// The channel of the 12-channel output device (front left, front right, centre, LFE, rear
// left/right, side left/right, top front left/right, top rear left/right) that carries bed entry
// in_uEntry (the sink and the effect put the s-th speaker of their layout on entry s: front left,
// front right, front centre, low frequency, back left, back right, side left, side right, top
// front left/right, top back left/right). Wine's renderer fills its 7.1.4 channels with the bed
// object types in the order of their type bits (side before back), so the back pair of objects
// comes out on the side channels and the side pair on the rear ones.
uint32_t DeviceChannelOfBedEntry(uint32_t in_uEntry) {
    constexpr uint32_t kChannels[12] = {0, 1, 2, 3, 6, 7, 4, 5, 8, 9, 10, 11};
    return in_uEntry < 12 ? kChannels[in_uEntry] : in_uEntry;
}

// One tone per speaker of the layout.
ToneSchedule SpeakerSchedule(uint32_t in_uSpeakers) {
    ToneSchedule schedule(kLeadInFrames, kToneFrames, kGapFrames);
    for (uint32_t uSpeaker = 0; uSpeaker < in_uSpeakers; ++uSpeaker) {
        schedule.Add(
            Tone{uSpeaker, DeviceChannelOfBedEntry(uSpeaker), ToneFrequency(uSpeaker), kAmplitude});
    }
    return schedule;
}

int RunSession(const SessionConfig& in_config, const char* in_pszExpect,
               ToneSchedule (*in_pfnSchedule)(const EngineSession&)) {
    EngineSession session(in_config, stdout);
    if (!session.Open()) {
        return session.PluginMissing() ? kExitPluginMissing : 1;
    }
    const ToneSchedule schedule = in_pfnSchedule(session);
    if (!WriteExpectations(schedule, in_pszExpect)) {
        return 1;
    }
    session.Play(schedule);
    return session.Close() ? 0 : 1;
}

// The voices of the mixer run and the speaker of the bus's 7.1.4 layout (mask order) that each
// must reach on the bed route: the host pans a voice at a speaker's azimuth onto that speaker
// alone, and the sink plays the bus's speaker s on bed entry s.
struct VoicePlacement {
    float fAzimuthDegrees;
    uint32_t uSpeaker;
};
constexpr VoicePlacement kVoices[] = {
    {0.0f, 2}, {-30.0f, 0}, {30.0f, 1}, {-90.0f, 6}, {90.0f, 7}, {-135.0f, 4}, {135.0f, 5},
};

ToneSchedule VoiceSchedule(const EngineSession&) {
    ToneSchedule schedule(kLeadInFrames, kToneFrames, kGapFrames);
    for (uint32_t uVoice = 0; uVoice < sizeof(kVoices) / sizeof(kVoices[0]); ++uVoice) {
        schedule.Add(Tone{uVoice, DeviceChannelOfBedEntry(kVoices[uVoice].uSpeaker),
                          ToneFrequency(uVoice), kAmplitude});
    }
    return schedule;
}

// The output lost and back. A 7.1.4 sink plays a front-left tone; once it plays the host writes
// MARKERS\playing, and the harness kills the audio server, starts it again, begins recording and
// writes MARKERS\restarted. The sink must absorb the loss (nothing reported to the host); then
// the host terminates it, creates a new one (retrying while the renderer is not back) and writes
// MARKERS\recreated before the tones of EXPECT play through it.
int RunLoss(const char* in_pszMarkers, const char* in_pszExpect, const wchar_t* in_pszSink) {
    const std::string markers = in_pszMarkers;
    SessionConfig config;
    config.pszSinkLibrary = in_pszSink;
    config.uChannelConfig = 3;
    EngineSession session(config, stdout);
    if (!session.Open()) {
        return session.PluginMissing() ? kExitPluginMissing : 1;
    }
    ToneSchedule before(0, kSampleRate / 2, 0);
    before.Add(Tone{0, 0, 440.0f, kAmplitude});
    session.Play(before);
    if (!TouchFile(markers + "\\playing")) {
        std::printf("cannot write the markers\n");
        return 1;
    }
    // Keeps the engine running through the loss (silence), until the harness says the server is
    // back (at most 60 s).
    const auto start = std::chrono::steady_clock::now();
    const ToneSchedule silence(0, 0, 0);
    session.Play(silence, [&]() {
        return !FileExists(markers + "\\restarted") &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(60);
    });
    std::printf("loss: the server is back: %s\n",
                FileExists(markers + "\\restarted") ? "yes" : "timed out");
    session.CloseSink();

    bool bOpened = false;
    for (int iTry = 0; iTry < 80 && !bOpened; ++iTry) {
        bOpened = session.OpenSink();
        if (!bOpened) {
            Sleep(250);
        }
    }
    if (!bOpened) {
        std::printf("loss: the re-created sink did not open\n");
        return 1;
    }
    const ToneSchedule after = SpeakerSchedule(2);
    if (!WriteExpectations(after, in_pszExpect) || !TouchFile(markers + "\\recreated")) {
        return 1;
    }
    session.Play(after);
    return session.Close() ? 0 : 1;
}

// The output lost and back in_uCycles times while a 7.1.4 sink (and, with in_pszEffect, a
// 12-channel effect bus in front of it) plays; then the front speakers' tones of EXPECT play
// through the re-opened streams (on Windows while the harness records them).
int RunReopen(uint32_t in_uCycles, const char* in_pszMarkers, const wchar_t* in_pszSink,
              const wchar_t* in_pszEffect, const char* in_pszExpect) {
    SessionConfig config;
    config.pszSinkLibrary = in_pszSink;
    config.uChannelConfig = 3;
    if (in_pszEffect != nullptr) {
        config.eBus = BusKind::Effect;
        config.pszBusLibrary = in_pszEffect;
    }
    EngineSession session(config, stdout);
    if (!session.Open()) {
        return session.PluginMissing() ? kExitPluginMissing : 1;
    }
    if (!MeasureReopens(session, in_uCycles, in_pszMarkers, stdout)) {
        return 1;
    }
    const ToneSchedule after = SpeakerSchedule(2);
    if (!WriteExpectations(after, in_pszExpect)) {
        return 1;
    }
    if (!HarnessRecordsOutput()) {
        session.Play(after);
        return session.Close() ? 0 : 1;
    }
    // The harness records each play of the tones: MARKERS\tones-N asks it to begin, it answers
    // MARKERS\recording-N; MARKERS\played-N tells it the tones have played, and it answers
    // MARKERS\done, or MARKERS\again-N when a glitch of the real-time path spoilt them (at most
    // three plays). Silence plays meanwhile, at most 30 s for each answer.
    const std::string markers = in_pszMarkers;
    const ToneSchedule silence(0, 0, 0);
    auto playUntil = [&](const std::string& in_first, const std::string& in_second) {
        const auto start = std::chrono::steady_clock::now();
        session.Play(silence, [&]() {
            return !FileExists(in_first) && !FileExists(in_second) &&
                   std::chrono::steady_clock::now() - start < std::chrono::seconds(30);
        });
    };
    for (int iPlay = 1; iPlay <= 3 && !FileExists(markers + "\\done"); ++iPlay) {
        const std::string suffix = "-" + std::to_string(iPlay);
        TouchFile(markers + "\\tones" + suffix);
        playUntil(markers + "\\recording" + suffix, markers + "\\done");
        session.Play(after);
        TouchFile(markers + "\\played" + suffix);
        playUntil(markers + "\\again" + suffix, markers + "\\done");
    }
    return session.Close() ? 0 : 1;
}

// The notices of a bus that refused the renderer's rate: exactly one, at in_uLevel, naming both
// rates. Logged; false otherwise.
bool OneRateNotice(EngineSession& io_session, const char* in_pszBus, uint32_t in_uEngineRate,
                   uint32_t in_uRendererRate, uint32_t in_uLevel) {
    const std::vector<host::HostMonitorLog::Message> notices = io_session.BusNotices();
    for (const host::HostMonitorLog::Message& notice : notices) {
        std::printf("%s: notice (level %u): %s\n", in_pszBus, static_cast<unsigned>(notice.eLevel),
                    notice.text.c_str());
    }
    const std::string rates = "the engine runs at " + std::to_string(in_uEngineRate) +
                              " Hz, the renderer plays at " + std::to_string(in_uRendererRate) +
                              " Hz";
    if (notices.size() != 1 || notices[0].eLevel != in_uLevel ||
        notices[0].text.find(rates) == std::string::npos) {
        std::printf("%s: UNEXPECTED notices: one at level %u naming \"%s\" was due\n", in_pszBus,
                    static_cast<unsigned>(in_uLevel), rates.c_str());
        return false;
    }
    return true;
}

// An engine at in_uRate (44.1 kHz, say) against a renderer at another rate (Windows Sonic's 48
// kHz): no plug-in may hand the renderer a sample. The sink must answer 4 to InitPlugin (the
// engine plays on its own output); the effect 2, after one level-2 notice naming both rates (its
// bus is heard through the engine); the mixer must set up without objects, with one notice naming
// both rates, and mix every voice into its bus (the bed route) while its counters show 0 playing
// and 0 available objects. Once the three are set up the host writes MARKERS\set-up and waits
// (at most 30 s) for MARKERS\looked, while the harness counts the audio server's streams; then
// the mixer bus plays its voices, without a sink, by the clock.
int RunRate(uint32_t in_uRate, uint32_t in_uRendererRate, const char* in_pszMarkers,
            const wchar_t* in_pszSink, const wchar_t* in_pszEffect, const wchar_t* in_pszMixer) {
    SessionConfig effectConfig;
    effectConfig.uSampleRate = in_uRate;
    effectConfig.pszSinkLibrary = in_pszSink;
    effectConfig.eBus = BusKind::Effect;
    effectConfig.pszBusLibrary = in_pszEffect;
    SessionConfig mixerConfig = effectConfig;
    mixerConfig.eBus = BusKind::Mixer;
    mixerConfig.pszBusLibrary = in_pszMixer;
    for (const VoicePlacement& voice : kVoices) {
        mixerConfig.voices.push_back(Voice{voice.fAzimuthDegrees});
    }
    EngineSession effect(effectConfig, stdout);
    EngineSession mixer(mixerConfig, stdout);
    if (!effect.LoadLibraries() || !mixer.LoadLibraries()) {
        return 1;
    }
    bool bGood = true;
    for (EngineSession* pSession : {&effect, &mixer}) {
        if (pSession->OpenSink() || pSession->SinkInitResult() != ZV_DeviceNotOpened) {
            std::printf("sink: UNEXPECTED: InitPlugin %d at %u Hz, 4 was due\n",
                        static_cast<int>(pSession->SinkInitResult()),
                        static_cast<unsigned>(in_uRate));
            bGood = false;
        }
    }
    if (effect.OpenBus() || effect.BusInitResult() != ZV_Failure) {
        std::printf("effect: UNEXPECTED: InitPlugin %d, 2 was due\n",
                    static_cast<int>(effect.BusInitResult()));
        bGood = false;
    }
    bGood = OneRateNotice(effect, "effect", in_uRate, in_uRendererRate, 2) && bGood;
    if (!mixer.OpenBus()) {
        return effect.PluginMissing() || mixer.PluginMissing() ? kExitPluginMissing : 1;
    }
    bGood = OneRateNotice(mixer, "mixer", in_uRate, in_uRendererRate, 2) && bGood;

    const std::string markers = in_pszMarkers;
    if (HarnessRecordsOutput()) {
        TouchFile(markers + "\\set-up");
        const auto start = std::chrono::steady_clock::now();
        while (!FileExists(markers + "\\looked") &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
            Sleep(20);
        }
    }
    mixer.Play(VoiceSchedule(mixer));
    for (const VoicePlacement& voice : kVoices) {
        if (mixer.BusEnergy(voice.uSpeaker) <= 0.0) {
            std::printf("mixer: UNEXPECTED: nothing on speaker %u of its bus\n",
                        static_cast<unsigned>(voice.uSpeaker));
            bGood = false;
        }
    }
    std::printf("mixer: every voice on its speaker of the bus: %s\n", bGood ? "yes" : "no");
    // The mixer's counters (0 playing, every voice, 0 available) are checked as it closes.
    bGood = mixer.Close() && bGood;
    bGood = effect.Close() && bGood;
    return bGood ? 0 : 1;
}

}  // namespace
}  // namespace spatialhost

int main(int argc, char** argv) {
    using namespace spatialhost;
    if (argc < 2) {
        return Usage();
    }
    SetUpPlatform();
    ComApartment apartment;
    const std::string command = argv[1];
    auto Arg = [&](int in_iIndex) { return Wide(argv[in_iIndex]); };
    if (command == "probe") {
        return ProbeRenderer(stdout);
    }
    if (command == "sink" && argc == 5) {
        const std::wstring sink = Arg(3);
        SessionConfig config;
        config.pszSinkLibrary = sink.c_str();
        config.uChannelConfig = static_cast<uint32_t>(std::atoi(argv[2]));
        return RunSession(config, argv[4], [](const EngineSession& in_session) {
            return SpeakerSchedule(in_session.SinkSpeakerCount());
        });
    }
    if (command == "effect" && argc == 5) {
        const std::wstring effect = Arg(2);
        const std::wstring sink = Arg(3);
        SessionConfig config;
        config.pszSinkLibrary = sink.c_str();
        config.eBus = BusKind::Effect;
        config.pszBusLibrary = effect.c_str();
        return RunSession(config, argv[4],
                          [](const EngineSession&) { return SpeakerSchedule(12); });
    }
    if (command == "mixer" && argc == 5) {
        const std::wstring mixer = Arg(2);
        const std::wstring sink = Arg(3);
        SessionConfig config;
        config.pszSinkLibrary = sink.c_str();
        config.eBus = BusKind::Mixer;
        config.pszBusLibrary = mixer.c_str();
        for (const VoicePlacement& voice : kVoices) {
            config.voices.push_back(Voice{voice.fAzimuthDegrees});
        }
        return RunSession(config, argv[4], &VoiceSchedule);
    }
    if (command == "loss" && argc == 5) {
        const std::wstring sink = Arg(3);
        return RunLoss(argv[2], argv[4], sink.c_str());
    }
    if (command == "reopen" && argc == 7 && std::atoi(argv[2]) > 0) {
        const std::wstring sink = Arg(4);
        const std::wstring effect = Arg(5);
        return RunReopen(static_cast<uint32_t>(std::atoi(argv[2])), argv[3], sink.c_str(),
                         effect == L"-" ? nullptr : effect.c_str(), argv[6]);
    }
    if (command == "rate" && argc == 7 && std::atoi(argv[2]) > 0) {
        const std::wstring sink = Arg(4);
        const std::wstring effect = Arg(5);
        const std::wstring mixer = Arg(6);
        const uint32_t uRate = static_cast<uint32_t>(std::atoi(argv[2]));
        return RunRate(uRate, kSampleRate, argv[3], sink.c_str(), effect.c_str(), mixer.c_str());
    }
    if (command == "designtool" && argc == 4) {
        return CheckDesignToolLibrary(Arg(2).c_str(), std::atoi(argv[3]) != 0, stdout);
    }
    return Usage();
}
