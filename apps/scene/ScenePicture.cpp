#include "ScenePicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "SpeakerLayout.h"

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

const char* const kColours[] = {"#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4",
                                "#42d4f4", "#f032e6", "#9a6324", "#469990", "#800000",
                                "#808000", "#000075", "#bfef45", "#fabed4", "#dcbeff"};

std::string Escape(const std::string& in_text) {
    std::string out;
    for (char c : in_text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Number(double in_fValue) {
    char szText[32];
    std::snprintf(szText, sizeof(szText), "%.1f", in_fValue);
    return szText;
}

}  // namespace

std::string BuildPicture(const std::string& in_title, const SceneRunResult& in_result) {
    std::ostringstream svg;
    const double fHeight = std::max(kMapTop + kMapSize + 40.0, kMapTop + 12 * kRowHeight + 50.0);
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1100\" height=\"" << Number(fHeight)
        << "\" viewBox=\"0 0 1100 " << Number(fHeight) << "\" font-family=\"sans-serif\">\n";
    svg << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg << "<text x=\"20\" y=\"28\" font-size=\"18\">" << Escape(in_title) << "</text>\n";

    // Objects seen from above. Scale: the farthest point seen, at least 3 m.
    double fRange = 3.0;
    for (const auto& entry : in_result.trajectories) {
        for (const TrajectorySample& sample : entry.second) {
            fRange = std::max(fRange, std::fabs(double(sample.fX)) * 1.1);
            fRange = std::max(fRange, std::fabs(double(sample.fZ)) * 1.1);
        }
    }
    const double fCentreX = kMapLeft + kMapSize / 2.0;
    const double fCentreY = kMapTop + kMapSize / 2.0;
    const double fScale = kMapSize / 2.0 / fRange;
    svg << "<g><rect x=\"" << kMapLeft << "\" y=\"" << kMapTop << "\" width=\"" << kMapSize
        << "\" height=\"" << kMapSize << "\" fill=\"#f8f8f8\" stroke=\"#888\"/>\n";
    svg << "<text x=\"" << kMapLeft << "\" y=\"" << kMapTop - 6
        << "\" font-size=\"12\">Dynamic objects from above (front up, right to the right; "
        << Number(fRange) << " m to the edge)</text>\n";
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
    size_t uColour = 0;
    for (const auto& entry : in_result.trajectories) {
        const char* pszColour = kColours[uColour++ % (sizeof(kColours) / sizeof(kColours[0]))];
        svg << "<polyline fill=\"none\" stroke=\"" << pszColour
            << "\" stroke-width=\"1.5\" stroke-opacity=\"0.8\" points=\"";
        for (const TrajectorySample& sample : entry.second) {
            svg << Number(fCentreX + sample.fX * fScale) << ","
                << Number(fCentreY + sample.fZ * fScale) << " ";
        }
        svg << "\"/>\n";
        if (!entry.second.empty()) {
            const TrajectorySample& last = entry.second.back();
            svg << "<circle cx=\"" << Number(fCentreX + last.fX * fScale) << "\" cy=\""
                << Number(fCentreY + last.fZ * fScale) << "\" r=\"3\" fill=\"" << pszColour
                << "\"><title>object " << entry.first << "</title></circle>\n";
        }
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
    svg << "</svg>\n";
    return svg.str();
}

}  // namespace scene
