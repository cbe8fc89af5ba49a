// Fast convolution of sound sources with head-related impulse responses, one block at a time:
// every source of a block is transformed once, multiplied by its direction's left and right
// spectra and summed in the frequency domain, so a block costs one FFT per source and two inverse
// FFTs in all. The result of a block is FftSize() frames long (the block and its tail); the
// caller overlap-adds it at the block's position.
//
// A source whose direction moved to another cell of the set's grid since its last block is
// crossfaded: the block's samples go through the old filter with a raised-cosine fade-out and
// through the new one with the matching fade-in (two FFTs instead of one), so a moving or jumping
// source changes filter without a click.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include "HrtfSet.h"
#include "RealFft.h"

namespace scene {

class BinauralRenderer {
public:
    // in_rHrtf must have been opened for FFTs of in_uFftSize; blocks hold at most
    // in_uBlockFrames frames.
    BinauralRenderer(HrtfSet& io_rHrtf, size_t in_uFftSize, size_t in_uBlockFrames);

    // The FFT size that fits blocks of in_uBlockFrames with at least in_uMinTaps taps.
    static size_t FftSizeFor(size_t in_uBlockFrames, size_t in_uMinTaps);

    void BeginBlock();
    struct Direction {
        double fAzimuth;    // degrees, positive to the right
        double fElevation;  // degrees, positive up
    };
    // Adds in_uFrames (at most the block size) samples with a gain ramping from in_fGainFrom to
    // in_fGainTo across the block, heard from in_from at the block's start and from in_to at its
    // end (the same direction for a source that stays).
    void AddSource(const float* in_pSamples, size_t in_uFrames, float in_fGainFrom,
                   float in_fGainTo, Direction in_from, Direction in_to);
    // Writes FftSize() frames per ear; false (and nothing written) when no source was added.
    bool EndBlock(float* out_pLeft, float* out_pRight);

    size_t FftSize() const { return m_fft.Size(); }
    size_t BlockFrames() const { return m_uBlockFrames; }
    uint64_t Transforms() const { return m_uTransforms; }

private:
    // Transforms the block in the FFT's time buffer and adds its product with in_spectra to the
    // sums.
    void Accumulate(const HrtfSet::Spectra& in_spectra);

    HrtfSet& m_rHrtf;
    RealFft m_fft;
    size_t m_uBlockFrames;
    bool m_bAny = false;
    std::vector<float> m_kept;    // a crossfaded block's samples
    std::vector<float> m_fadeIn;  // raised cosine from 0 to 1 over a block
    std::vector<std::complex<float>> m_sumLeft;
    std::vector<std::complex<float>> m_sumRight;
    uint64_t m_uTransforms = 0;
    // The transform's input is zero from this sample on (the forward transform keeps its input;
    // the inverse overwrites it, and a new buffer holds anything).
    size_t m_uZeroFrom;
};

}  // namespace scene
