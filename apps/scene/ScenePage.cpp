#include "ScenePage.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "MarkupText.h"

namespace scene {

namespace {

using nlohmann::json;

constexpr double kPlotWidth = 520.0;
constexpr double kPlotHeight = 150.0;
constexpr double kPlotLeft = 46.0;
constexpr double kPlotTop = 24.0;
constexpr double kPlotBottom = 26.0;

const char* const kLineColours[] = {"#e6194b", "#3cb44b", "#4363d8", "#f58231",
                                    "#911eb4", "#42d4f4", "#f032e6", "#9a6324",
                                    "#469990", "#800000", "#808000", "#000075"};
const char* const kSpeakerNames[] = {"FL", "FR", "FC",  "LFE", "BL",  "BR",
                                     "SL", "SR", "TFL", "TFR", "TBL", "TBR"};

std::string Number(double in_fValue) {
    char szText[32];
    std::snprintf(szText, sizeof(szText), "%.1f", in_fValue);
    return szText;
}

// A file name as a relative URL: every byte outside the unreserved set percent-encoded.
std::string UrlOf(const std::string& in_name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : in_name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

struct Series {
    std::string label;
    const char* pszColour;
    std::vector<double> values;  // one per second
};

// A line plot of per-second values, y from in_fMin to in_fMax, with a legend of its series.
std::string Plot(const std::string& in_title, const std::string& in_unit,
                 const std::vector<Series>& in_series, double in_fMin, double in_fMax) {
    std::ostringstream svg;
    size_t uSeconds = 0;
    for (const Series& series : in_series) {
        uSeconds = std::max(uSeconds, series.values.size());
    }
    // The legend's entries one after the other, as wide as their labels (about 6 px a letter at
    // 10 px), on as many rows as they need.
    std::vector<std::pair<double, double>> legend;  // x, y of each entry
    double fLegendX = kPlotLeft, fLegendY = kPlotTop + kPlotHeight + kPlotBottom + 10.0;
    for (const Series& series : in_series) {
        const double fWidth = 14.0 + 6.0 * static_cast<double>(series.label.size()) + 16.0;
        if (fLegendX > kPlotLeft && fLegendX + fWidth > kPlotLeft + kPlotWidth) {
            fLegendX = kPlotLeft;
            fLegendY += 14.0;
        }
        legend.emplace_back(fLegendX, fLegendY);
        fLegendX += fWidth;
    }
    const double fHeight = fLegendY + 8.0;
    const double fWidth = kPlotLeft + kPlotWidth + 20.0;
    svg << "<svg class=\"plot\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Number(fWidth)
        << "\" height=\"" << Number(fHeight) << "\" viewBox=\"0 0 " << Number(fWidth) << " "
        << Number(fHeight) << "\" role=\"img\" aria-label=\"" << MarkupText(in_title) << "\">\n";
    svg << "<text x=\"4\" y=\"14\" font-size=\"13\">" << MarkupText(in_title) << "</text>\n";
    svg << "<rect x=\"" << kPlotLeft << "\" y=\"" << kPlotTop << "\" width=\"" << kPlotWidth
        << "\" height=\"" << kPlotHeight << "\" fill=\"#fafafa\" stroke=\"#bbb\"/>\n";
    const double fSpan = in_fMax > in_fMin ? in_fMax - in_fMin : 1.0;
    auto y = [&](double in_fValue) {
        const double fShare = (std::clamp(in_fValue, in_fMin, in_fMax) - in_fMin) / fSpan;
        return kPlotTop + kPlotHeight * (1.0 - fShare);
    };
    auto x = [&](size_t in_uSecond) {
        return kPlotLeft + kPlotWidth * (in_uSecond + 0.5) / std::max<size_t>(1, uSeconds);
    };
    for (double fValue : {in_fMin, (in_fMin + in_fMax) / 2.0, in_fMax}) {
        svg << "<text x=\"" << kPlotLeft - 4 << "\" y=\"" << Number(y(fValue) + 4)
            << "\" font-size=\"10\" text-anchor=\"end\">" << Number(fValue) << "</text>\n";
    }
    svg << "<text x=\"" << kPlotLeft << "\" y=\"" << Number(kPlotTop + kPlotHeight + 14)
        << "\" font-size=\"10\">0 s</text><text x=\"" << kPlotLeft + kPlotWidth << "\" y=\""
        << Number(kPlotTop + kPlotHeight + 14) << "\" font-size=\"10\" text-anchor=\"end\">"
        << uSeconds << " s (" << MarkupText(in_unit) << " per second)</text>\n";
    for (size_t uSeries = 0; uSeries < in_series.size(); ++uSeries) {
        const Series& series = in_series[uSeries];
        svg << "<polyline fill=\"none\" stroke=\"" << series.pszColour
            << "\" stroke-width=\"1.5\" points=\"";
        for (size_t uSecond = 0; uSecond < series.values.size(); ++uSecond) {
            svg << Number(x(uSecond)) << "," << Number(y(series.values[uSecond])) << " ";
        }
        svg << "\"/>\n";
        const double fLegendX = legend[uSeries].first;
        const double fLegendY = legend[uSeries].second;
        svg << "<rect x=\"" << Number(fLegendX) << "\" y=\"" << Number(fLegendY - 8)
            << "\" width=\"10\" height=\"8\" fill=\"" << series.pszColour << "\"/><text x=\""
            << Number(fLegendX + 14) << "\" y=\"" << Number(fLegendY) << "\" font-size=\"10\">"
            << MarkupText(series.label) << "</text>\n";
    }
    svg << "</svg>\n";
    return svg.str();
}

double NumberIn(const json& in_value, double in_fDefault) {
    return in_value.is_number() ? in_value.get<double>() : in_fDefault;
}

}  // namespace

std::string BuildPage(const std::string& in_title, const std::string& in_report,
                      const std::string& in_picture, const PageFiles& in_files) {
    const json report = json::parse(in_report, nullptr, false);
    const json seconds =
        report.is_object() && report.contains("perSecond") ? report["perSecond"] : json::array();
    Series playing{"objects playing (max)", kLineColours[2], {}};
    Series voices{"voices (max)", kLineColours[1], {}};
    Series thread{"slowest host buffer", kLineColours[0], {}};
    std::vector<Series> speakers, ears;
    double fMostObjects = 1.0, fSlowest = 0.0;
    for (const json& second : seconds) {
        playing.values.push_back(NumberIn(second["playingObjects"]["max"], 0.0));
        voices.values.push_back(NumberIn(second["voices"]["max"], 0.0));
        fMostObjects = std::max({fMostObjects, playing.values.back(), voices.values.back()});
        thread.values.push_back(100.0 * NumberIn(second["audioThreadMaxShareOfBudget"], 0.0));
        fSlowest = std::max(fSlowest, thread.values.back());
        const json& speakerLevels = second["speakerLevelDb"];
        for (size_t uChannel = 0;
             speakerLevels.is_array() && uChannel < speakerLevels.size() && uChannel < 12;
             ++uChannel) {
            if (speakers.size() <= uChannel) {
                speakers.push_back(Series{kSpeakerNames[uChannel], kLineColours[uChannel], {}});
            }
            speakers[uChannel].values.push_back(NumberIn(speakerLevels[uChannel], -120.0));
        }
        const json& earLevels = second["binauralLevelDb"];
        for (size_t uEar = 0; earLevels.is_array() && uEar < earLevels.size() && uEar < 2; ++uEar) {
            if (ears.size() <= uEar) {
                ears.push_back(Series{
                    uEar == 0 ? "left ear" : "right ear", kLineColours[uEar == 0 ? 2 : 0], {}});
            }
            ears[uEar].values.push_back(NumberIn(earLevels[uEar], -120.0));
        }
    }

    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<title>" << MarkupText(in_title) << "</title>\n"
         << "<style>\nbody { font-family: sans-serif; margin: 1.5em; color: #222; }\n"
         << "figure { margin: 1em 0; }\n.plots { display: flex; flex-wrap: wrap; gap: 1em; }\n"
         << ".warning { color: #a00000; }\naudio { width: 32em; }\n</style>\n</head>\n<body>\n";
    html << "<h1>" << MarkupText(in_title) << "</h1>\n";
    const json warnings = report.is_object() ? report.value("warnings", json::array()) : json();
    if (warnings.is_array() && !warnings.empty()) {
        html << "<h2>Warnings</h2>\n<ul>\n";
        for (const json& warning : warnings) {
            html << "<li class=\"warning\">"
                 << MarkupText(warning.is_string() ? warning.get<std::string>() : warning.dump())
                 << "</li>\n";
        }
        html << "</ul>\n";
    }
    html << "<h2>Listen</h2>\n"
         << "<p>Headphones (binaural): <a href=\"" << MarkupText(UrlOf(in_files.binaural)) << "\">"
         << MarkupText(in_files.binaural) << "</a><br>\n<audio id=\"binaural\" controls "
         << "preload=\"metadata\" src=\"" << MarkupText(UrlOf(in_files.binaural))
         << "\"></audio></p>\n"
         << "<p>7.1.4 speakers (12 channels; a browser plays what its output device has): <a "
         << "href=\"" << MarkupText(UrlOf(in_files.speakers)) << "\">"
         << MarkupText(in_files.speakers) << "</a><br>\n<audio id=\"speakers\" controls "
         << "preload=\"metadata\" src=\"" << MarkupText(UrlOf(in_files.speakers))
         << "\"></audio></p>\n";
    html << "<h2>The scene</h2>\n<figure id=\"picture\">\n" << in_picture << "</figure>\n";
    html << "<h2>Per second</h2>\n<div class=\"plots\">\n";
    html << "<figure>"
         << Plot("Mixer: objects playing and voices", "max", {playing, voices}, 0.0, fMostObjects)
         << "</figure>\n";
    html << "<figure>"
         << Plot("Audio thread: slowest host buffer, % of its budget", "max", {thread}, 0.0,
                 std::max(1.0, fSlowest * 1.1))
         << "</figure>\n";
    html << "<figure>" << Plot("7.1.4 levels, dBFS", "RMS", speakers, -80.0, 0.0) << "</figure>\n";
    html << "<figure>" << Plot("Headphone levels, dBFS", "RMS", ears, -80.0, 0.0) << "</figure>\n";
    html << "</div>\n<p>The figures come from <a href=\"" << MarkupText(UrlOf(in_files.report))
         << "\">" << MarkupText(in_files.report) << "</a>, which says how each was measured.</p>\n";
    // Tells the console what the page cannot show.
    html << "<script>\n"
         << "document.querySelectorAll('audio').forEach(function (audio) {\n"
         << "  audio.addEventListener('error', function () {\n"
         << "    console.error('cannot load ' + audio.getAttribute('src'));\n"
         << "  });\n"
         << "});\n"
         << "window.addEventListener('load', function () {\n"
         << "  document.querySelectorAll('figure > svg').forEach(function (svg) {\n"
         << "    var box = svg.getBoundingClientRect();\n"
         << "    if (box.width < 10 || box.height < 10) {\n"
         << "      console.error('a figure is not shown: ' + svg.getAttribute('aria-label'));\n"
         << "    }\n"
         << "  });\n"
         << "});\n"
         << "</script>\n</body>\n</html>\n";
    return html.str();
}

}  // namespace scene
