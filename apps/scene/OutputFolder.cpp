#include "OutputFolder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace scene {

OutputFolder::OutputFolder(std::string in_directory, std::string in_name)
    : m_directory(std::move(in_directory)), m_name(std::move(in_name)) {}

OutputFolder::~OutputFolder() {
    if (!m_bCommitted) {
        for (const std::string& suffix : m_suffixes) {
            std::remove(Temporary(suffix).c_str());
        }
    }
}

std::string OutputFolder::Final(const std::string& in_suffix) const {
    return m_directory + "/" + m_name + in_suffix;
}

std::string OutputFolder::Temporary(const std::string& in_suffix) {
    bool bKnown = false;
    for (const std::string& suffix : m_suffixes) {
        bKnown = bKnown || suffix == in_suffix;
    }
    if (!bKnown) {
        m_suffixes.push_back(in_suffix);
    }
    return m_directory + "/." + m_name + in_suffix + ".partial-" + std::to_string(getpid());
}

bool OutputFolder::Commit(std::string& out_error) {
    for (const std::string& suffix : m_suffixes) {
        if (std::rename(Temporary(suffix).c_str(), Final(suffix).c_str()) != 0) {
            out_error = "cannot put " + Final(suffix) + " in place: " + std::strerror(errno);
            return false;
        }
    }
    m_bCommitted = true;
    return true;
}

}  // namespace scene
