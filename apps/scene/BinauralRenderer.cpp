#include "BinauralRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ZvVectorClones.h"

namespace scene {

namespace {

// io_pSum += in_pBins * in_pFilter over in_uBins complex values stored as (re, im) pairs. The
// multiply-add is written out on the parts: std::complex's operator* checks for NaNs and keeps
// the loop from vectorising.
ZV_VECTOR_CLONES void MultiplyAdd(float* io_pSumLeft, float* io_pSumRight, const float* in_pBins,
                                  const float* in_pLeft, const float* in_pRight, size_t in_uBins) {
    const size_t uValues = 2 * in_uBins;
    for (size_t uValue = 0; uValue < uValues; uValue += 2) {
        const float fRe = in_pBins[uValue];
        const float fIm = in_pBins[uValue + 1];
        io_pSumLeft[uValue] += fRe * in_pLeft[uValue] - fIm * in_pLeft[uValue + 1];
        io_pSumLeft[uValue + 1] += fRe * in_pLeft[uValue + 1] + fIm * in_pLeft[uValue];
        io_pSumRight[uValue] += fRe * in_pRight[uValue] - fIm * in_pRight[uValue + 1];
        io_pSumRight[uValue + 1] += fRe * in_pRight[uValue + 1] + fIm * in_pRight[uValue];
    }
}

// out_pInput[f] = in_pSamples[f] * (in_fFrom + in_fStep * f): a block with its gain ramp.
ZV_VECTOR_CLONES void RampInto(float* out_pInput, const float* in_pSamples, int32_t in_iFrames,
                               float in_fFrom, float in_fStep) {
    for (int32_t iFrame = 0; iFrame < in_iFrames; ++iFrame) {
        out_pInput[iFrame] =
            in_pSamples[iFrame] * (in_fFrom + in_fStep * static_cast<float>(iFrame));
    }
}

// out_pTime[f] = in_pTime[f] * in_fScale.
ZV_VECTOR_CLONES void ScaleInto(float* out_pTime, const float* in_pTime, float in_fScale,
                                size_t in_uFrames) {
    for (size_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        out_pTime[uFrame] = in_pTime[uFrame] * in_fScale;
    }
}

}  // namespace

BinauralRenderer::BinauralRenderer(HrtfSet& io_rHrtf, size_t in_uFftSize, size_t in_uBlockFrames)
    : m_rHrtf(io_rHrtf),
      m_fft(in_uFftSize),
      m_uBlockFrames(in_uBlockFrames),
      m_fadeIn(in_uBlockFrames),
      m_sumLeft(m_fft.Bins()),
      m_sumRight(m_fft.Bins()),
      m_uZeroFrom(m_fft.Size()) {
    for (size_t uFrame = 0; uFrame < in_uBlockFrames; ++uFrame) {
        m_fadeIn[uFrame] = static_cast<float>(
            0.5 - 0.5 * std::cos(3.141592653589793 * (uFrame + 0.5) / in_uBlockFrames));
    }
}

size_t BinauralRenderer::FftSizeFor(size_t in_uBlockFrames, size_t in_uMinTaps) {
    size_t uSize = 64;
    while (uSize < in_uBlockFrames + in_uMinTaps - 1) {
        uSize *= 2;
    }
    return uSize;
}

void BinauralRenderer::BeginBlock() {
    std::fill(m_sumLeft.begin(), m_sumLeft.end(), std::complex<float>());
    std::fill(m_sumRight.begin(), m_sumRight.end(), std::complex<float>());
    m_bAny = false;
}

void BinauralRenderer::AddSource(const float* in_pSamples, size_t in_uFrames, float in_fGainFrom,
                                 float in_fGainTo, Direction in_from, Direction in_to) {
    const size_t uFrames = std::min(in_uFrames, m_uBlockFrames);
    if (uFrames == 0) {
        return;
    }
    const HrtfSet::Spectra to = m_rHrtf.SpectraFor(in_to.fAzimuth, in_to.fElevation);
    const HrtfSet::Spectra from = m_rHrtf.SpectraFor(in_from.fAzimuth, in_from.fElevation);
    const bool bCrossfade = from.iKey != to.iKey;
    const float fStep = (in_fGainTo - in_fGainFrom) / static_cast<float>(uFrames);
    // The block goes straight into the transform's own buffer, zero-padded to its size.
    float* pInput = m_fft.TimeBuffer();
    // (The frame index as a 32-bit integer gives the same float as ever: a block is far below
    // 2^24 frames.)
    RampInto(pInput, in_pSamples, static_cast<int32_t>(uFrames), in_fGainFrom, fStep);
    // The padding is cleared only where it is not zero already: the forward transform leaves its
    // input as it was, the inverse (at the end of a block) writes all of it.
    if (uFrames < m_uZeroFrom) {
        std::fill(pInput + uFrames, pInput + m_uZeroFrom, 0.0f);
    }
    m_uZeroFrom = uFrames;
    if (!bCrossfade) {
        Accumulate(to);
    } else {
        // The old filter fades out as the new one fades in; their weights add up to 1.
        std::vector<float>& kept = m_kept;
        kept.assign(pInput, pInput + uFrames);
        for (size_t uFrame = 0; uFrame < uFrames; ++uFrame) {
            pInput[uFrame] = kept[uFrame] * m_fadeIn[uFrame];
        }
        Accumulate(to);
        for (size_t uFrame = 0; uFrame < uFrames; ++uFrame) {
            pInput[uFrame] = kept[uFrame] * (1.0f - m_fadeIn[uFrame]);
        }
        Accumulate(from);
    }
    m_bAny = true;
}

void BinauralRenderer::Accumulate(const HrtfSet::Spectra& in_spectra) {
    m_fft.RunForward();
    ++m_uTransforms;
    MultiplyAdd(reinterpret_cast<float*>(m_sumLeft.data()),
                reinterpret_cast<float*>(m_sumRight.data()),
                reinterpret_cast<const float*>(m_fft.BinBuffer()),
                reinterpret_cast<const float*>(in_spectra.pLeft),
                reinterpret_cast<const float*>(in_spectra.pRight), m_fft.Bins());
}

bool BinauralRenderer::EndBlock(float* out_pLeft, float* out_pRight) {
    if (!m_bAny) {
        return false;
    }
    const float fScale = 1.0f / static_cast<float>(m_fft.Size());
    const size_t uBinBytes = m_fft.Bins() * sizeof(std::complex<float>);
    std::memcpy(static_cast<void*>(m_fft.BinBuffer()), m_sumLeft.data(), uBinBytes);
    m_fft.RunInverse();
    ScaleInto(out_pLeft, m_fft.TimeBuffer(), fScale, m_fft.Size());
    std::memcpy(static_cast<void*>(m_fft.BinBuffer()), m_sumRight.data(), uBinBytes);
    m_fft.RunInverse();
    ScaleInto(out_pRight, m_fft.TimeBuffer(), fScale, m_fft.Size());
    m_uZeroFrom = m_fft.Size();
    return true;
}

}  // namespace scene
