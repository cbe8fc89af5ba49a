#include "ScenePicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "MarkupText.h"
#include "SpeakerLayout.h"
#include "Trajectory.h"

namespace scene {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kMapSize = 460.0;
constexpr double kMapLeft = 20.0;
constexpr double kMapTop = 50.0;
constexpr double kLevelsLeft = 520.0;
constexpr double kLevelsWidth = 560.0;
constexpr double kRowHeight = 36.0;
constexpr double kFloorDb = -60.0;
constexpr double kLegendRow = 18.0;
constexpr double kLegendBarLeft = 330.0;
constexpr double kLegendBarWidth = 740.0;
constexpr double kPathStep = 0.02;  // seconds between the points of a voice's path

const char* const kColours[] = {"#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4",
                                "#42d4f4", "#f032e6", "#9a6324", "#469990", "#800000",
                                "#808000", "#000075", "#bfef45", "#fabed4", "#dcbeff"};

std::string Number(double in_fValue) {
    char szText[32];
    std::snprintf(szText, sizeof(szText), "%.1f", in_fValue);
    return szText;
}

// Where a voice is on the map's plane, in metres: x to the right, y ahead.
void MapPoint(const Direction& in_position, double& out_fRight, double& out_fAhead) {
    const double fHorizontal =
        in_position.fDistance * std::cos(in_position.fElevation * kRadiansPerDegree);
    out_fRight = fHorizontal * std::sin(in_position.fAzimuth * kRadiansPerDegree);
    out_fAhead = fHorizontal * std::cos(in_position.fAzimuth * kRadiansPerDegree);
}

// Whether voice in_uVoice was on a dynamic object at in_fTime.
bool OnObject(const SceneRunResult& in_result, size_t in_uVoice, double in_fTime) {
    if (in_uVoice >= in_result.voiceRoutes.size()) {
        return false;
    }
    for (const VoiceRouteSpan& span : in_result.voiceRoutes[in_uVoice]) {
        if (in_fTime >= span.fFrom - 1e-9 && in_fTime < span.fTo) {
            return span.bObject;
        }
    }
    return false;
}

const char* RouteText(VoiceRoute in_eRoute) {
    switch (in_eRoute) {
        case VoiceRoute::Mixer:
            return "mixer bus";
        case VoiceRoute::Music:
            return "music bus (effect)";
        case VoiceRoute::Master:
            return "final mix (sink)";
    }
    return "";
}

}  // namespace

const char* VoiceColour(size_t in_uVoice) {
    return kColours[in_uVoice % (sizeof(kColours) / sizeof(kColours[0]))];
}

std::string BuildPicture(const std::string& in_title, const SceneSpec& in_scene,
                         const SceneRunResult& in_result) {
    std::ostringstream svg;
    const double fLegendTop = std::max(kMapTop + kMapSize + 40.0, kMapTop + 12 * kRowHeight + 50.0);
    const double fHeight = fLegendTop + 30.0 + kLegendRow * in_scene.voices.size() + 20.0;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1100\" height=\"" << Number(fHeight)
        << "\" viewBox=\"0 0 1100 " << Number(fHeight) << "\" font-family=\"sans-serif\">\n";
    svg << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg << "<text x=\"20\" y=\"28\" font-size=\"18\">" << MarkupText(in_title) << "</text>\n";

    // Every voice's path from above, a point every 20 ms while it plays.
    const double fSceneSeconds = in_scene.fDurationSeconds;
    std::vector<std::vector<std::pair<double, Direction>>> paths(in_scene.voices.size());
    double fRange = 3.0;
    for (size_t uVoice = 0; uVoice < in_scene.voices.size(); ++uVoice) {
        const VoiceSpec& voice = in_scene.voices[uVoice];
        const double fEnd = VoiceEnd(in_scene, voice);
        for (double fTime = voice.fStart; fTime < fEnd + kPathStep / 2; fTime += kPathStep) {
            const double fAt = std::min(fTime, fEnd);
            const Direction position = PositionAt(voice.trajectory, fAt);
            paths[uVoice].emplace_back(fAt, position);
            double fRight = 0.0, fAhead = 0.0;
            MapPoint(position, fRight, fAhead);
            fRange = std::max({fRange, std::fabs(fRight) * 1.1, std::fabs(fAhead) * 1.1});
        }
    }
    const double fCentreX = kMapLeft + kMapSize / 2.0;
    const double fCentreY = kMapTop + kMapSize / 2.0;
    const double fScale = kMapSize / 2.0 / fRange;
    svg << "<g><rect x=\"" << kMapLeft << "\" y=\"" << kMapTop << "\" width=\"" << kMapSize
        << "\" height=\"" << kMapSize << "\" fill=\"#f8f8f8\" stroke=\"#888\"/>\n";
    svg << "<text x=\"" << kMapLeft << "\" y=\"" << kMapTop - 6
        << "\" font-size=\"12\">Voices from above (front up; " << Number(fRange)
        << " m to the edge)</text>\n";
    for (double fRing = 1.0; fRing < fRange; fRing += 1.0) {
        svg << "<circle cx=\"" << Number(fCentreX) << "\" cy=\"" << Number(fCentreY) << "\" r=\""
            << Number(fRing * fScale) << "\" fill=\"none\" stroke=\"#ddd\"/>\n";
    }
    for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
        if (uChannel == kLowFrequencyChannel) {
            continue;
        }
        const SpeakerDirection direction = SpeakerDirectionOf(uChannel);
        const double fRadius = (direction.fElevation > 0.0 ? 0.7 : 0.9) * kMapSize / 2.0;
        const double fX = fCentreX + std::sin(direction.fAzimuth * kRadiansPerDegree) * fRadius;
        const double fY = fCentreY - std::cos(direction.fAzimuth * kRadiansPerDegree) * fRadius;
        svg << "<rect x=\"" << Number(fX - 5) << "\" y=\"" << Number(fY - 5)
            << "\" width=\"10\" height=\"10\" fill=\"#bbb\"/><text x=\"" << Number(fX + 7)
            << "\" y=\"" << Number(fY + 4) << "\" font-size=\"10\" fill=\"#666\">"
            << SpeakerName(uChannel) << "</text>\n";
    }
    svg << "<circle cx=\"" << Number(fCentreX) << "\" cy=\"" << Number(fCentreY)
        << "\" r=\"6\" fill=\"black\"/><line x1=\"" << Number(fCentreX) << "\" y1=\""
        << Number(fCentreY) << "\" x2=\"" << Number(fCentreX) << "\" y2=\"" << Number(fCentreY - 14)
        << "\" stroke=\"black\" stroke-width=\"2\"/>\n";
    for (size_t uVoice = 0; uVoice < paths.size(); ++uVoice) {
        const auto& path = paths[uVoice];
        if (path.empty()) {
            continue;
        }
        const VoiceSpec& voice = in_scene.voices[uVoice];
        const char* pszColour = VoiceColour(uVoice);
        // One polyline per stretch on one route: solid on an object, dashed in the bed.
        size_t uFirst = 0;
        while (uFirst < path.size()) {
            const bool bObject = voice.eRoute == VoiceRoute::Mixer &&
                                 OnObject(in_result, uVoice, path[uFirst].first);
            size_t uLast = uFirst;
            while (uLast + 1 < path.size() &&
                   (voice.eRoute == VoiceRoute::Mixer &&
                    OnObject(in_result, uVoice, path[uLast + 1].first)) == bObject) {
                ++uLast;
            }
            svg << "<polyline fill=\"none\" stroke=\"" << pszColour << "\" stroke-width=\""
                << (bObject ? "2" : "1.5") << "\" stroke-opacity=\"0.85\""
                << (bObject ? "" : " stroke-dasharray=\"5 4\"") << " points=\"";
            for (size_t uPoint = uFirst; uPoint <= std::min(uLast + 1, path.size() - 1); ++uPoint) {
                double fRight = 0.0, fAhead = 0.0;
                MapPoint(path[uPoint].second, fRight, fAhead);
                svg << Number(fCentreX + fRight * fScale) << ","
                    << Number(fCentreY - fAhead * fScale) << " ";
            }
            svg << "\"/>\n";
            uFirst = uLast + 1;
        }
        double fRight = 0.0, fAhead = 0.0;
        MapPoint(path.back().second, fRight, fAhead);
        svg << "<circle cx=\"" << Number(fCentreX + fRight * fScale) << "\" cy=\""
            << Number(fCentreY - fAhead * fScale) << "\" r=\"3.5\" fill=\"" << pszColour
            << "\"><title>" << MarkupText(voice.name) << "</title></circle>\n";
    }
    svg << "</g>\n";

    // Levels per 7.1.4 channel.
    svg << "<text x=\"" << kLevelsLeft << "\" y=\"" << kMapTop - 6
        << "\" font-size=\"12\">7.1.4 channel levels (RMS per "
        << Number(1000.0 * in_result.uLevelWindowFrames / in_result.uSampleRate) << " ms, "
        << Number(kFloorDb) << " to 0 dB)</text>\n";
    const double fSeconds =
        std::max(1e-9, static_cast<double>(in_result.uTotalFrames) / in_result.uSampleRate);
    for (uint32_t uChannel = 0; uChannel < in_result.speakerLevels.size(); ++uChannel) {
        const double fTop = kMapTop + uChannel * kRowHeight;
        svg << "<rect x=\"" << kLevelsLeft + 40 << "\" y=\"" << Number(fTop) << "\" width=\""
            << kLevelsWidth - 40 << "\" height=\"" << kRowHeight - 4
            << "\" fill=\"#f8f8f8\" stroke=\"#ccc\"/><text x=\"" << kLevelsLeft << "\" y=\""
            << Number(fTop + kRowHeight / 2) << "\" font-size=\"12\">" << SpeakerName(uChannel)
            << "</text>\n";
        const std::vector<float>& levels = in_result.speakerLevels[uChannel];
        if (levels.empty()) {
            continue;
        }
        svg << "<polyline fill=\"none\" stroke=\"#2060c0\" stroke-width=\"1\" points=\"";
        for (size_t uWindow = 0; uWindow < levels.size(); ++uWindow) {
            const double fTime =
                (uWindow + 0.5) * in_result.uLevelWindowFrames / in_result.uSampleRate;
            const double fDb =
                levels[uWindow] > 0.0f ? 20.0 * std::log10(double(levels[uWindow])) : kFloorDb;
            const double fClamped = std::clamp(fDb, kFloorDb, 0.0);
            const double fX =
                kLevelsLeft + 40 + (kLevelsWidth - 40) * std::min(1.0, fTime / fSeconds);
            const double fY = fTop + (kRowHeight - 4) * (fClamped / kFloorDb);
            svg << Number(fX) << "," << Number(fY) << " ";
        }
        svg << "\"/>\n";
    }
    const double fAxis = kMapTop + in_result.speakerLevels.size() * kRowHeight + 12;
    svg << "<text x=\"" << kLevelsLeft + 40 << "\" y=\"" << Number(fAxis)
        << "\" font-size=\"11\">0 s</text><text x=\"" << kLevelsLeft + kLevelsWidth - 30
        << "\" y=\"" << Number(fAxis) << "\" font-size=\"11\">" << Number(fSeconds)
        << " s</text>\n";

    // The legend: every voice in its colour, with its route over the scene's time.
    svg << "<g class=\"legend\"><text x=\"20\" y=\"" << Number(fLegendTop)
        << "\" font-size=\"12\">Voices and their route over time (0 to " << Number(fSceneSeconds)
        << " s). On a dynamic object: full colour here, a solid path above; mixed into the bed "
           "(heard "
           "through the sink): pale here, dashed above.</text>\n";
    const double fSecondsWide = std::max(1e-9, fSceneSeconds);
    for (size_t uVoice = 0; uVoice < in_scene.voices.size(); ++uVoice) {
        const VoiceSpec& voice = in_scene.voices[uVoice];
        const double fTop = fLegendTop + 12.0 + kLegendRow * uVoice;
        const char* pszColour = VoiceColour(uVoice);
        std::string name = voice.name.size() > 40 ? voice.name.substr(0, 40) + "..." : voice.name;
        svg << "<rect x=\"20\" y=\"" << Number(fTop + 3) << "\" width=\"18\" height=\"8\" fill=\""
            << pszColour << "\"/><text x=\"44\" y=\"" << Number(fTop + 11) << "\" font-size=\"11\">"
            << MarkupText(name) << " (" << RouteText(voice.eRoute) << ")</text>\n";
        svg << "<rect x=\"" << kLegendBarLeft << "\" y=\"" << Number(fTop + 2) << "\" width=\""
            << kLegendBarWidth << "\" height=\"10\" fill=\"#f4f4f4\"/>\n";
        auto bar = [&](double in_fFrom, double in_fTo, double in_fOpacity) {
            const double fX = kLegendBarLeft + kLegendBarWidth * in_fFrom / fSecondsWide;
            const double fWidth = kLegendBarWidth * (in_fTo - in_fFrom) / fSecondsWide;
            svg << "<rect x=\"" << Number(fX) << "\" y=\"" << Number(fTop + 2) << "\" width=\""
                << Number(std::max(0.5, fWidth)) << "\" height=\"10\" fill=\"" << pszColour
                << "\" fill-opacity=\"" << in_fOpacity << "\"/>\n";
        };
        if (voice.eRoute == VoiceRoute::Mixer && uVoice < in_result.voiceRoutes.size()) {
            for (const VoiceRouteSpan& span : in_result.voiceRoutes[uVoice]) {
                bar(span.fFrom, span.fTo, span.bObject ? 1.0 : 0.3);
            }
        } else {
            bar(std::min(voice.fStart, fSceneSeconds), VoiceEnd(in_scene, voice), 0.3);
        }
    }
    svg << "</g>\n";
    svg << "</svg>\n";
    return svg.str();
}

}  // namespace scene
