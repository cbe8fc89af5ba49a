// A real-input FFT of one fixed size and its inverse, through FFTW (single precision). The
// inverse is not normalised: a round trip multiplies by Size().
//
// Not thread-safe: one object per thread (FFTW's planner is shared, so plans are made under a
// process-wide lock).
#pragma once

#include <complex>
#include <cstddef>

namespace scene {

class RealFft {
public:
    explicit RealFft(size_t in_uSize);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    size_t Size() const { return m_uSize; }
    size_t Bins() const { return m_uSize / 2 + 1; }

    // in_pTime: Size() samples; out_pBins: Bins() values.
    void Forward(const float* in_pTime, std::complex<float>* out_pBins);
    // in_pBins: Bins() values; out_pTime: Size() samples.
    void Inverse(const std::complex<float>* in_pBins, float* out_pTime);

    // The transforms' own buffers, aligned for FFTW's vector code, for callers that fill and
    // read them in place instead of copying through Forward and Inverse: RunForward transforms
    // TimeBuffer(), which it leaves as it was, into BinBuffer(); RunInverse transforms
    // BinBuffer(), which it overwrites, into TimeBuffer().
    float* TimeBuffer() { return m_pTime; }
    std::complex<float>* BinBuffer() { return static_cast<std::complex<float>*>(m_pBins); }
    void RunForward();
    void RunInverse();

private:
    size_t m_uSize;
    float* m_pTime;
    void* m_pBins;  // fftwf_complex
    void* m_pForward;
    void* m_pInverse;
};

}  // namespace scene
