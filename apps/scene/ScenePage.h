// NAME.html: one page beside a run's files that opens from the folder without anything else: the
// picture, the report's per-second figures as small plots (objects playing and voices, the audio
// thread's slowest buffer against its budget, the level of every 7.1.4 channel and of both ears),
// the warnings, and audio players for the binaural and the 7.1.4 files (linked by their names, so
// the page plays them from its own folder).
//
// A short script on the page reports on the browser's console what the page cannot show: an
// audio file that does not load, a figure that is not laid out.
#pragma once

#include <string>

namespace scene {

struct PageFiles {
    std::string binaural;  // file names, relative to the page
    std::string speakers;
    std::string report;
    std::string picture;
};

// in_report is the report's JSON text, in_picture the SVG text.
std::string BuildPage(const std::string& in_title, const std::string& in_report,
                      const std::string& in_picture, const PageFiles& in_files);

}  // namespace scene
