// Head-related transfer functions from a SOFA file (libmysofa), resampled by libmysofa to the
// scene's rate and held as spectra of one FFT size, ready for fast convolution.
//
// Impulse responses longer than the convolution allows (FFT size - block + 1 taps) are cut, with
// a short fade-out over their last taps; with the MIT KEMAR set at 48 kHz (558 taps) and 480-frame
// blocks in 1024-point FFTs that drops 13 taps some 39 dB down. Spectra are computed on first use
// for directions on a 2-degree grid and kept.
//
// Directions the set does not cover (the MIT KEMAR set was measured from -40 to +90 degrees of
// elevation) take the nearest covered direction that keeps their lateral angle (the angle from
// the median plane, which sets the interaural time and level differences): a source below the
// lowest measured elevation keeps its left-right balance, and one straight below sounds from the
// median plane, as balanced as one straight ahead.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <string>
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

    // Whether in_path can be opened as a SOFA file: false with out_error (the reason in words)
    // when it is missing, unreadable or not an HDF5 file. Cheap: reads a few bytes.
    static bool CheckFile(const std::string& in_path, std::string& out_error);

    // The left and right spectra (FFT bins) of direction (azimuth, elevation), degrees, azimuth
    // positive to the right, and the grid cell they belong to (equal keys: the same spectra).
    // Valid while the set lives.
    struct Spectra {
        const std::complex<float>* pLeft;
        const std::complex<float>* pRight;
        int32_t iKey;
    };
    Spectra SpectraFor(double in_fAzimuth, double in_fElevation);

    // The measured direction that stands for (in_fAzimuth, in_fElevation): the same direction
    // when the set covers its elevation, otherwise the nearest covered one with the same lateral
    // angle. Degrees.
    void CoveredDirection(double in_fAzimuth, double in_fElevation, double& out_fAzimuth,
                          double& out_fElevation) const;
    double LowestElevation() const { return m_fLowestElevation; }
    double HighestElevation() const { return m_fHighestElevation; }

    size_t FilterTaps() const { return m_uTaps; }
    size_t FileFilterLength() const { return m_uFileTaps; }
    size_t CachedDirections() const { return m_uDirections; }

private:
    MYSOFA_EASY* m_pEasy = nullptr;
    size_t m_uFileTaps = 0;
    size_t m_uTaps = 0;
    uint32_t m_uSampleRate = 48000;
    double m_fLowestElevation = -90.0;
    double m_fHighestElevation = 90.0;
    std::unique_ptr<RealFft> m_pFft;
    std::vector<float> m_left, m_right, m_padded;
    // Per cell of the grid (azimuth-major), the slot of its spectra, or -1 before first use.
    std::vector<int32_t> m_cellSlots;
    // The spectra in slots of left bins then right bins, kSlotsPerChunk slots to a chunk, so that
    // a new direction takes room made before (the first chunk is made, and touched, at Open)
    // and the spectra never move.
    std::vector<std::unique_ptr<std::complex<float>[]>> m_chunks;
    // Where slot in_uSlot's spectra lie (its chunk must have been made).
    std::complex<float>* SlotSpectra(size_t in_uSlot);
    size_t m_uDirections = 0;
};

}  // namespace scene
