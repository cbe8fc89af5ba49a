// scene_player: plays a scene (the built-in one, or a JSON scene file) through the sink, the
// effect and the mixer into the stand-in spatial renderer, and writes what a listener would hear:
// a 12-channel 7.1.4 WAV, a binaural headphone WAV, a JSON report, an SVG picture and a page
// that shows and plays them.
//
//   scene_player [--scene FILE] [--out DIR] [--name NAME] [--grant N] [--frame-count N]
//                [--duration SECONDS] [--realtime] [--sofa FILE]
//
// Every input is checked before anything is written, and the files are written under temporary
// names and put in place only when the run succeeds, so a failed or stopped run (SIGINT, SIGTERM)
// leaves the output folder as it was. A progress bar shows on a terminal only; the summary (where
// the files are) is always printed; errors and warnings go to stderr. Exit codes: 0 played,
// 1 the run failed, 2 a bad argument or scene, 3 a plug-in library missing, 128 + the signal's
// number when stopped by one.

#include <windows.h>

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AssertHook.h"
#include "OutputFolder.h"
#include "ProgressBar.h"
#include "SceneFile.h"
#include "ScenePage.h"
#include "ScenePicture.h"
#include "ScenePlayer.h"
#include "SceneReport.h"

namespace {

std::atomic<uint64_t> g_uChecks{0};
// The signal that asked the run to stop, or 0. Lock-free, so the handler may store it.
std::atomic<int> g_iStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void AskToStop(int in_iSignal) {
    g_iStopSignal.store(in_iSignal, std::memory_order_relaxed);
}

// The program is the host: plug-in checks that fail are counted for the report and printed.
void CountCheck(const char* in_pszExpression, const char* in_pszSource, int in_iLine) {
    g_uChecks.fetch_add(1, std::memory_order_relaxed);
    std::fprintf(stderr, "check failed in %s line %d: %s\n", in_pszSource, in_iLine,
                 in_pszExpression);
}

void Usage(FILE* in_pOutput) {
    std::fprintf(in_pOutput,
                 "usage: scene_player [--scene FILE] [--out DIR] [--name NAME] [--grant N]\n"
                 "                    [--frame-count N] [--duration SECONDS] [--realtime]\n"
                 "                    [--sofa FILE] [--free-threads]\n"
                 "Plays the built-in scene (or FILE) through the three plug-ins and writes\n"
                 "NAME-7.1.4.wav, NAME-binaural.wav, NAME-report.json, NAME.svg and NAME.html\n"
                 "into DIR (default: scene-output). NAME is the scene's name unless given.\n"
                 "A stepped run keeps the audio thread and the plug-ins' render workers on one\n"
                 "processor, as they hand each pass over in lock step; --free-threads leaves\n"
                 "them to the scheduler (the files are the same).\n"
                 "Exit codes: 0 played, 1 the run failed, 2 a bad argument or scene, 3 a plug-in\n"
                 "library missing, 128 + N when stopped by signal N.\n");
}

bool ParseUnsigned(const char* in_pszText, uint32_t in_uMin, uint32_t in_uMax,
                   uint32_t& out_uValue) {
    char* pEnd = nullptr;
    const unsigned long uValue = std::strtoul(in_pszText, &pEnd, 10);
    if (pEnd == in_pszText || *pEnd != '\0' || uValue < in_uMin || uValue > in_uMax) {
        return false;
    }
    out_uValue = static_cast<uint32_t>(uValue);
    return true;
}

bool WriteText(const std::string& in_path, const std::string& in_text) {
    std::ofstream file(in_path, std::ios::binary | std::ios::trunc);
    file << in_text;
    return static_cast<bool>(file);
}

}  // namespace

ZvAssertHook g_pfnZvAssertHook = &CountCheck;

int main(int argc, char** argv) {
    std::string scenePath, outDirectory = "scene-output", name, sofaPath;
    uint32_t uGrant = 0, uFrameCount = 0;
    bool bGrant = false, bFrameCount = false, bRealTime = false, bFreeThreads = false;
    double fDuration = 0.0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool bHasValue = i + 1 < argc;
        if (argument == "--help" || argument == "-h") {
            Usage(stdout);
            return 0;
        } else if (argument == "--realtime") {
            bRealTime = true;
        } else if (argument == "--free-threads") {
            bFreeThreads = true;
        } else if (argument == "--scene" && bHasValue) {
            scenePath = argv[++i];
        } else if (argument == "--out" && bHasValue) {
            outDirectory = argv[++i];
        } else if (argument == "--name" && bHasValue) {
            name = argv[++i];
        } else if (argument == "--sofa" && bHasValue) {
            sofaPath = argv[++i];
        } else if (argument == "--grant" && bHasValue) {
            bGrant = ParseUnsigned(argv[++i], 0, 256, uGrant);
            if (!bGrant) {
                std::fprintf(stderr, "--grant takes a number of objects from 0 to 256\n");
                return 2;
            }
        } else if (argument == "--frame-count" && bHasValue) {
            bFrameCount = ParseUnsigned(argv[++i], 16, 8192, uFrameCount);
            if (!bFrameCount) {
                std::fprintf(stderr, "--frame-count takes frames per pass from 16 to 8192\n");
                return 2;
            }
        } else if (argument == "--duration" && bHasValue) {
            char* pEnd = nullptr;
            fDuration = std::strtod(argv[++i], &pEnd);
            if (pEnd == argv[i] || *pEnd != '\0' || !(fDuration > 0.0) || fDuration > 3600.0) {
                std::fprintf(stderr, "--duration takes seconds, more than 0 and at most 3600\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "unknown or incomplete argument: %s\n", argument.c_str());
            Usage(stderr);
            return 2;
        }
    }

    scene::SceneSpec sceneSpec = scene::DefaultScene();
    std::string error;
    if (!scenePath.empty() && !scene::LoadSceneFile(scenePath, sceneSpec, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (bGrant) {
        sceneSpec.uGrant = uGrant;
    }
    if (bFrameCount) {
        sceneSpec.uRendererFrames = uFrameCount;
    }
    if (fDuration > 0.0) {
        sceneSpec.fDurationSeconds = fDuration;
    }
    if (name.empty()) {
        name = sceneSpec.name;
    }
    std::vector<std::string> warnings, notes;
    if (!scene::CheckOutputName(name, error) || !scene::CheckScene(sceneSpec, warnings, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    scene::ScenePlayerOptions options;
    if (!sofaPath.empty()) {
        options.sofaPath = sofaPath;
    }
    // Every input before any output.
    if (!scene::CheckSceneInputs(sceneSpec, options.sofaPath, notes, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    for (const std::string& note : notes) {
        std::printf("%s\n", note.c_str());
    }

    std::error_code directoryError;
    std::filesystem::create_directories(outDirectory, directoryError);
    if (directoryError) {
        std::fprintf(stderr, "cannot create %s: %s\n", outDirectory.c_str(),
                     directoryError.message().c_str());
        return 1;
    }
    scene::OutputFolder folder(outDirectory, name);
    scene::ReportFiles files;
    files.speakers = folder.Final("-7.1.4.wav");
    files.binaural = folder.Final("-binaural.wav");
    files.report = folder.Final("-report.json");
    files.picture = folder.Final(".svg");
    files.page = folder.Final(".html");

    struct sigaction action = {};
    action.sa_handler = &AskToStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    options.pStop = &g_iStopSignal;

    scene::ProgressBar progress(stdout);
    options.speakerPath = folder.Temporary("-7.1.4.wav");
    options.binauralPath = folder.Temporary("-binaural.wav");
    options.bRealTime = bRealTime;
    options.bLockstepOnOneCpu = !bFreeThreads;
    const double fSceneSeconds = sceneSpec.fDurationSeconds;
    options.progress = [&](double in_fShare) { progress.Update(in_fShare, fSceneSeconds); };

    scene::SceneRunResult result;
    const bool bPlayed = scene::PlayScene(sceneSpec, options, result, error);
    progress.Done();
    result.uPluginChecks = g_uChecks.load(std::memory_order_relaxed);
    const int iStopSignal = g_iStopSignal.load(std::memory_order_relaxed);
    if (!bPlayed) {
        std::fprintf(stderr, "the scene did not play: %s\n", error.c_str());
        if (iStopSignal != 0) {
            return 128 + iStopSignal;
        }
        if (result.bLibraryMissing) {
            std::fprintf(stderr,
                         "the player needs the engine libraries of all three plug-ins "
                         "(ZvSpatialSink, SpatialEffectEngine, SpatialMixerFX) and their "
                         "design-tool libraries beside it\n");
            return 3;
        }
        return 1;
    }
    result.notes = notes;
    result.warnings.insert(result.warnings.begin(), warnings.begin(), warnings.end());
    const std::string title = "Scene \"" + sceneSpec.name + "\"";
    const std::string report = scene::BuildReport(sceneSpec, result, files);
    const std::string picture = scene::BuildPicture(title, sceneSpec, result);
    scene::PageFiles pageFiles;
    pageFiles.binaural = folder.FileName("-binaural.wav");
    pageFiles.speakers = folder.FileName("-7.1.4.wav");
    pageFiles.report = folder.FileName("-report.json");
    pageFiles.picture = folder.FileName(".svg");
    if (!WriteText(folder.Temporary("-report.json"), report) ||
        !WriteText(folder.Temporary(".svg"), picture) ||
        !WriteText(folder.Temporary(".html"),
                   scene::BuildPage(title, report, picture, pageFiles))) {
        std::fprintf(stderr, "cannot write the report, the picture or the page into %s: %s\n",
                     outDirectory.c_str(), std::strerror(errno));
        return 1;
    }
    if (g_iStopSignal.load(std::memory_order_relaxed) != 0) {
        std::fprintf(stderr, "stopped by a signal before the files were put in place\n");
        return 128 + g_iStopSignal.load(std::memory_order_relaxed);
    }
    if (!folder.Commit(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double fSpeed = result.fWallSeconds > 0.0 ? fSceneSeconds / result.fWallSeconds : 0.0;
    std::printf("played %.1f s of \"%s\" in %.2f s (%.0fx real time)\n", fSceneSeconds,
                sceneSpec.name.c_str(), result.fWallSeconds, fSpeed);
    std::printf(
        "  7.1.4 speakers: %s\n  headphones:     %s\n  report:         %s\n"
        "  picture:        %s\n  page:           %s\n"
        "listen on headphones: ffplay '%s' (or aplay, or open the page in a browser)\n",
        files.speakers.c_str(), files.binaural.c_str(), files.report.c_str(), files.picture.c_str(),
        files.page.c_str(), files.binaural.c_str());
    for (const std::string& warning : result.warnings) {
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
    }
    const bool bClean = result.uOutstandingBlocks == 0 && result.uBadFrees == 0;
    if (!bClean) {
        std::fprintf(stderr, "the plug-ins left %zu host blocks and made %zu bad frees\n",
                     result.uOutstandingBlocks, result.uBadFrees);
    }
    return bClean ? 0 : 1;
}
