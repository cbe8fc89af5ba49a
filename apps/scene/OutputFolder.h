// The files of one run, written so that the output folder is never left half-changed: each file
// is written under a hidden temporary name beside its final one, and Commit renames them all into
// place once the run has succeeded. A run that fails or is stopped removes its temporary files
// (the destructor does) and leaves the files of an earlier run as they were.
#pragma once

#include <string>
#include <vector>

namespace scene {

class OutputFolder {
public:
    // in_directory must exist; in_name is one path component.
    OutputFolder(std::string in_directory, std::string in_name);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // The final path of the file named NAME + in_suffix ("-7.1.4.wav", ".svg", ...), and the
    // temporary path to write it to; the file takes part in Commit from then on.
    std::string Final(const std::string& in_suffix) const;
    std::string FileName(const std::string& in_suffix) const { return m_name + in_suffix; }
    std::string Temporary(const std::string& in_suffix);

    // Renames every temporary file into place. False with out_error when one cannot be renamed
    // (those before it are in place by then).
    bool Commit(std::string& out_error);

private:
    std::string m_directory;
    std::string m_name;
    std::vector<std::string> m_suffixes;
    bool m_bCommitted = false;
};

}  // namespace scene
