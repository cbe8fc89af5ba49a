// Head-related transfer functions from a SOFA file (libmysofa), resampled by libmysofa to the
// scene's rate and held as spectra of one FFT size, ready for fast convolution.
//
// Impulse responses longer than the convolution allows (FFT size - block + 1 taps) are cut, with
// a short fade-out over their last taps; with the MIT KEMAR set at 48 kHz (558 taps) and 480-frame
// blocks in 1024-point FFTs that drops 13 taps some 39 dB down. Spectra are computed on first use
// for directions on a 2-degree grid and kept.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "RealFft.h"

struct MYSOFA_EASY;

namespace scene {

class HrtfSet {
public:
    HrtfSet() = default;
    ~HrtfSet();
    HrtfSet(const HrtfSet&) = delete;
    HrtfSet& operator=(const HrtfSet&) = delete;

    // Opens in_path at in_uSampleRate for FFTs of in_uFftSize with room for in_uMaxTaps taps.
    // False with out_error when the file cannot be read.
    bool Open(const std::string& in_path, uint32_t in_uSampleRate, size_t in_uFftSize,
              size_t in_uMaxTaps, std::string& out_error);

    // The left and right spectra (FFT bins) of direction (azimuth, elevation), degrees, azimuth
    // positive to the right. Valid while the set lives.
    struct Spectra {
        const std::complex<float>* pLeft;
        const std::complex<float>* pRight;
    };
    Spectra SpectraFor(double in_fAzimuth, double in_fElevation);

    size_t FilterTaps() const { return m_uTaps; }
    size_t FileFilterLength() const { return m_uFileTaps; }
    size_t CachedDirections() const { return m_cache.size(); }

private:
    MYSOFA_EASY* m_pEasy = nullptr;
    size_t m_uFileTaps = 0;
    size_t m_uTaps = 0;
    uint32_t m_uSampleRate = 48000;
    std::unique_ptr<RealFft> m_pFft;
    std::vector<float> m_left, m_right, m_padded;
    // Key: quantised direction; value: left bins then right bins.
    std::unordered_map<int32_t, std::vector<std::complex<float>>> m_cache;
};

}  // namespace scene
