// Marker files through which a run and the harness around the host (scripts/windows-test.sh)
// tell each other where they are: an empty file whose existence is the message.
#pragma once

#include <cstdio>
#include <string>

namespace spatialhost {

inline bool FileExists(const std::string& in_path) {
    std::FILE* pFile = std::fopen(in_path.c_str(), "rb");
    if (pFile == nullptr) {
        return false;
    }
    std::fclose(pFile);
    return true;
}

inline bool TouchFile(const std::string& in_path) {
    std::FILE* pFile = std::fopen(in_path.c_str(), "wb");
    return pFile != nullptr && std::fclose(pFile) == 0;
}

}  // namespace spatialhost
