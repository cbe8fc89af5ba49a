// Reading back what the scene player wrote: WAV files through libsndfile, and channel energies
// over ranges of frames.
#pragma once

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace scene_tests {

struct WavFile {
    int iChannels = 0;
    int iSampleRate = 0;
    int iFormat = 0;
    std::vector<float> samples;  // interleaved

    size_t Frames() const { return iChannels == 0 ? 0 : samples.size() / iChannels; }

    // Mean square of in_iChannel over [in_uFrom, in_uTo).
    double Energy(int in_iChannel, size_t in_uFrom, size_t in_uTo) const {
        double fSum = 0.0;
        in_uTo = std::min(in_uTo, Frames());
        for (size_t uFrame = in_uFrom; uFrame < in_uTo; ++uFrame) {
            const double fSample = samples[uFrame * iChannels + in_iChannel];
            fSum += fSample * fSample;
        }
        return in_uTo > in_uFrom ? fSum / static_cast<double>(in_uTo - in_uFrom) : 0.0;
    }
    double Energy(int in_iChannel) const { return Energy(in_iChannel, 0, Frames()); }
};

inline bool ReadWav(const std::string& in_path, WavFile& out_file) {
    SF_INFO info = {};
    SNDFILE* pFile = sf_open(in_path.c_str(), SFM_READ, &info);
    if (pFile == nullptr) {
        return false;
    }
    out_file.iChannels = info.channels;
    out_file.iSampleRate = info.samplerate;
    out_file.iFormat = info.format;
    out_file.samples.resize(static_cast<size_t>(info.frames) * info.channels);
    const sf_count_t uRead = sf_readf_float(pFile, out_file.samples.data(), info.frames);
    sf_close(pFile);
    return uRead == info.frames;
}

inline double Decibels(double in_fEnergyRatio) {
    return 10.0 * std::log10(in_fEnergyRatio);
}

// A fresh directory under the test temporary directory for one test's files.
inline std::string OutputDirectory() {
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(pInfo->test_suite_name()) + "_" + pInfo->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path.string();
}

}  // namespace scene_tests
