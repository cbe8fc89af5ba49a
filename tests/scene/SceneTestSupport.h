// Reading back what the scene player wrote: WAV files through libsndfile, channel energies over
// ranges of frames, the level of a frequency and the loudest sound outside given frequencies;
// writing WAV sources; running the player's programs.
#pragma once

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RealFft.h"

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

// A fresh directory for one test's files under the test temporary directory (in the build tree
// when CTest runs the test).
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

// The 4-term Blackman-Harris window (side lobes 92 dB down) over in_uLength samples.
inline std::vector<double> BlackmanHarris(size_t in_uLength) {
    std::vector<double> window(in_uLength);
    for (size_t u = 0; u < in_uLength; ++u) {
        const double fPhase = 6.283185307179586 * u / in_uLength;
        window[u] = 0.35875 - 0.48829 * std::cos(fPhase) + 0.14128 * std::cos(2 * fPhase) -
                    0.01168 * std::cos(3 * fPhase);
    }
    return window;
}

// The amplitude in dBFS (a full-scale sine is 0) of in_fFrequency in in_iChannel over
// [in_uFrom, in_uTo), windowed.
inline double ToneLevelDb(const WavFile& in_file, int in_iChannel, size_t in_uFrom, size_t in_uTo,
                          double in_fFrequency) {
    in_uTo = std::min(in_uTo, in_file.Frames());
    const std::vector<double> window = BlackmanHarris(in_uTo - in_uFrom);
    std::complex<double> sum;
    double fWeights = 0.0;
    for (size_t u = in_uFrom; u < in_uTo; ++u) {
        const double fPhase = -6.283185307179586 * in_fFrequency * u / in_file.iSampleRate;
        const double fWeight = window[u - in_uFrom];
        sum += fWeight * in_file.samples[u * in_file.iChannels + in_iChannel] *
               std::complex<double>(std::cos(fPhase), std::sin(fPhase));
        fWeights += fWeight;
    }
    return 20.0 * std::log10(std::max(1e-12, 2.0 * std::abs(sum) / fWeights));
}

// The loudest spectral line (dBFS as above) of in_iChannel farther than in_fGuardHz from every
// frequency of in_content, over 2048-frame windows half overlapped within [in_uFrom, in_uTo):
// clicks, bursts, images and aliases show here, the sources' own tones do not.
inline double LoudestOutsideDb(const WavFile& in_file, int in_iChannel,
                               const std::vector<double>& in_content, double in_fGuardHz,
                               size_t in_uFrom = 0, size_t in_uTo = SIZE_MAX) {
    constexpr size_t kSize = 2048;
    const std::vector<double> window = BlackmanHarris(kSize);
    double fWeights = 0.0;
    for (double fWeight : window) {
        fWeights += fWeight;
    }
    scene::RealFft fft(kSize);
    std::vector<float> frame(kSize);
    std::vector<std::complex<float>> bins(fft.Bins());
    double fLoudest = -240.0;
    in_uTo = std::min(in_uTo, in_file.Frames());
    for (size_t uStart = in_uFrom; uStart + kSize <= in_uTo; uStart += kSize / 2) {
        for (size_t u = 0; u < kSize; ++u) {
            frame[u] = static_cast<float>(
                window[u] * in_file.samples[(uStart + u) * in_file.iChannels + in_iChannel]);
        }
        fft.Forward(frame.data(), bins.data());
        for (size_t uBin = 1; uBin < bins.size(); ++uBin) {
            const double fHz = static_cast<double>(uBin) * in_file.iSampleRate / kSize;
            const bool bContent = std::any_of(
                in_content.begin(), in_content.end(),
                [&](double in_fTone) { return std::fabs(fHz - in_fTone) <= in_fGuardHz; });
            if (!bContent) {
                fLoudest = std::max(
                    fLoudest,
                    20.0 * std::log10(std::max(1e-12, 2.0 * std::abs(bins[uBin]) / fWeights)));
            }
        }
    }
    return fLoudest;
}

// Writes in_fSeconds of tones (one frequency per channel, amplitude in_fAmplitude) as a 32-bit
// float WAV file at in_iRate.
inline void WriteToneWav(const std::string& in_path, int in_iRate,
                         const std::vector<double>& in_frequencies, double in_fSeconds,
                         double in_fAmplitude = 0.5) {
    SF_INFO info = {};
    info.samplerate = in_iRate;
    info.channels = static_cast<int>(in_frequencies.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* pFile = sf_open(in_path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(nullptr, pFile) << in_path;
    const size_t uFrames = static_cast<size_t>(in_fSeconds * in_iRate);
    std::vector<float> frames(uFrames * in_frequencies.size());
    for (size_t u = 0; u < uFrames; ++u) {
        for (size_t c = 0; c < in_frequencies.size(); ++c) {
            frames[u * in_frequencies.size() + c] = static_cast<float>(
                in_fAmplitude * std::sin(6.283185307179586 * in_frequencies[c] * u / in_iRate));
        }
    }
    sf_writef_float(pFile, frames.data(), static_cast<sf_count_t>(uFrames));
    sf_close(pFile);
}

inline std::string FileText(const std::string& in_path) {
    std::ifstream file(in_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs a shell command; its exit code (128 + N when a signal N ended it), with its standard
// output and error in out_output.
inline int RunCommand(const std::string& in_command, std::string& out_output) {
    out_output.clear();
    FILE* pPipe = popen((in_command + " 2>&1").c_str(), "r");
    if (pPipe == nullptr) {
        return -1;
    }
    char aBuffer[4096];
    size_t uRead = 0;
    while ((uRead = fread(aBuffer, 1, sizeof(aBuffer), pPipe)) > 0) {
        out_output.append(aBuffer, uRead);
    }
    const int iStatus = pclose(pPipe);
    if (WIFSIGNALED(iStatus)) {
        return 128 + WTERMSIG(iStatus);
    }
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
}

}  // namespace scene_tests
