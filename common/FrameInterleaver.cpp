#include "FrameInterleaver.h"

#include <stddef.h>

// The instruction set, not the platform, decides the path: every x86 target of the family has
// SSE2 (the 64-bit ones always, the 32-bit desktop build with it enabled); a build without it
// takes the portable loop.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define ZV_FRAME_INTERLEAVER_SSE2 1
#include <emmintrin.h>
#endif

namespace {

// Sample f of column in_pSource, as the output takes it.
template <bool kRamped>
float Sample(const float* in_pSource, uint32_t in_uFrame, float in_fGain, float in_fGainStep,
             uint32_t in_uGainIndex) {
    if (in_pSource == nullptr) {
        return 0.0f;
    }
    if (!kRamped) {
        return in_pSource[in_uFrame];
    }
    const float fFrame = static_cast<float>(static_cast<int32_t>(in_uGainIndex + in_uFrame));
    return in_pSource[in_uFrame] * (in_fGain + in_fGainStep * fFrame);
}

#if defined(ZV_FRAME_INTERLEAVER_SSE2)

// Frames in_uFrame to in_uFrame + 3 of a column, with their gains in_vGain when ramped.
template <bool kRamped>
__m128 Load4(const float* in_pSource, uint32_t in_uFrame, __m128 in_vGain) {
    if (in_pSource == nullptr) {
        return _mm_setzero_ps();
    }
    const __m128 vSamples = _mm_loadu_ps(in_pSource + in_uFrame);
    return kRamped ? _mm_mul_ps(vSamples, in_vGain) : vSamples;
}

void Store2(float* out_pPair, __m128 in_vPairs, bool in_bHigh) {
    __m128i vBits = _mm_castps_si128(in_vPairs);
    if (in_bHigh) {
        vBits = _mm_unpackhi_epi64(vBits, vBits);
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out_pPair), vBits);
}

// Frames a chunk holds. The host's channels often lie a power of two of bytes apart (1024 frames:
// 4 KiB), where they all fall into the same sets of the first-level cache; reading a dozen of them
// side by side would evict one stream's lines with another's. Going through the columns four at a
// time over a chunk of frames keeps four streams in flight, and the chunk's output (64 frames of
// 12 columns: 3 KiB) stays in that cache until every column is in.
constexpr uint32_t kChunkFrames = 64;

// The gains of frames in_uFrame to in_uFrame + 3: the same two roundings as the one-sample path,
// the step times the index, then the add.
__m128 RampGains(uint32_t in_uFrame, __m128 in_vGain, __m128 in_vGainStep) {
    const __m128i vIndex =
        _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(in_uFrame)), _mm_set_epi32(3, 2, 1, 0));
    return _mm_add_ps(in_vGain, _mm_mul_ps(in_vGainStep, _mm_cvtepi32_ps(vIndex)));
}

// Four columns that all have a source, over frames in_uFirst to in_uEnd (a multiple of four
// apart); in_pGains holds the gains of the chunk's frames from in_uFirst on when ramped.
template <bool kRamped>
void InterleaveGroup(const float* const* in_ppSources, uint32_t in_uFirst, uint32_t in_uEnd,
                     const float* in_pGains, size_t in_uStride, float* out_pColumn) {
    const float* p0 = in_ppSources[0] + in_uFirst;
    const float* p1 = in_ppSources[1] + in_uFirst;
    const float* p2 = in_ppSources[2] + in_uFirst;
    const float* p3 = in_ppSources[3] + in_uFirst;
    float* pOut = out_pColumn + in_uFirst * in_uStride;
    const size_t uBlockStride = 4 * in_uStride;
    for (uint32_t i = 0; i < in_uEnd - in_uFirst; i += 4) {
        __m128 v0 = _mm_loadu_ps(p0 + i);
        __m128 v1 = _mm_loadu_ps(p1 + i);
        __m128 v2 = _mm_loadu_ps(p2 + i);
        __m128 v3 = _mm_loadu_ps(p3 + i);
        if (kRamped) {
            const __m128 vGain = _mm_loadu_ps(in_pGains + i);
            v0 = _mm_mul_ps(v0, vGain);
            v1 = _mm_mul_ps(v1, vGain);
            v2 = _mm_mul_ps(v2, vGain);
            v3 = _mm_mul_ps(v3, vGain);
        }
        _MM_TRANSPOSE4_PS(v0, v1, v2, v3);
        _mm_storeu_ps(pOut, v0);
        _mm_storeu_ps(pOut + in_uStride, v1);
        _mm_storeu_ps(pOut + 2 * in_uStride, v2);
        _mm_storeu_ps(pOut + 3 * in_uStride, v3);
        pOut += uBlockStride;
    }
}

// The whole blocks of four frames; returns the first frame it left.
template <bool kRamped>
uint32_t InterleaveBlocks(const float* const* in_apSources, uint32_t in_uColumns,
                          uint32_t in_uFrames, float in_fGain, float in_fGainStep,
                          uint32_t in_uGainIndex, float* out_pFrames) {
    const uint32_t uGroups = in_uColumns / 4;
    const bool bPair = in_uColumns % 4 >= 2;
    const uint32_t uFirstSingle = uGroups * 4 + (bPair ? 2 : 0);
    const size_t uStride = in_uColumns;
    const __m128 vGain = _mm_set1_ps(in_fGain);
    const __m128 vGainStep = _mm_set1_ps(in_fGainStep);
    const uint32_t uBlockFrames = in_uFrames & ~3u;
    float afGains[kChunkFrames];  // the gains of the chunk's frames

    for (uint32_t uChunk = 0; uChunk < uBlockFrames; uChunk += kChunkFrames) {
        const uint32_t uChunkEnd =
            uBlockFrames - uChunk < kChunkFrames ? uBlockFrames : uChunk + kChunkFrames;
        if (kRamped) {
            for (uint32_t uFrame = uChunk; uFrame < uChunkEnd; uFrame += 4) {
                _mm_storeu_ps(afGains + (uFrame - uChunk),
                              RampGains(in_uGainIndex + uFrame, vGain, vGainStep));
            }
        }
        for (uint32_t uGroup = 0; uGroup < uGroups; ++uGroup) {
            const float* const* ppSources = in_apSources + uGroup * 4;
            if (ppSources[0] != nullptr && ppSources[1] != nullptr && ppSources[2] != nullptr &&
                ppSources[3] != nullptr) {
                InterleaveGroup<kRamped>(ppSources, uChunk, uChunkEnd, afGains, uStride,
                                         out_pFrames + uGroup * 4);
                continue;
            }
            // A silent column among them (a speaker the buffer lacks): zeros in its place.
            for (uint32_t uFrame = uChunk; uFrame < uChunkEnd; uFrame += 4) {
                const __m128 vFrameGain =
                    kRamped ? _mm_loadu_ps(afGains + (uFrame - uChunk)) : _mm_setzero_ps();
                __m128 v0 = Load4<kRamped>(ppSources[0], uFrame, vFrameGain);
                __m128 v1 = Load4<kRamped>(ppSources[1], uFrame, vFrameGain);
                __m128 v2 = Load4<kRamped>(ppSources[2], uFrame, vFrameGain);
                __m128 v3 = Load4<kRamped>(ppSources[3], uFrame, vFrameGain);
                _MM_TRANSPOSE4_PS(v0, v1, v2, v3);
                float* pOut = out_pFrames + uFrame * uStride + uGroup * 4;
                _mm_storeu_ps(pOut, v0);
                _mm_storeu_ps(pOut + uStride, v1);
                _mm_storeu_ps(pOut + 2 * uStride, v2);
                _mm_storeu_ps(pOut + 3 * uStride, v3);
            }
        }
        if (bPair) {
            const uint32_t uColumn = uGroups * 4;
            for (uint32_t uFrame = uChunk; uFrame < uChunkEnd; uFrame += 4) {
                const __m128 vFrameGain =
                    kRamped ? _mm_loadu_ps(afGains + (uFrame - uChunk)) : _mm_setzero_ps();
                const __m128 vA = Load4<kRamped>(in_apSources[uColumn], uFrame, vFrameGain);
                const __m128 vB = Load4<kRamped>(in_apSources[uColumn + 1], uFrame, vFrameGain);
                const __m128 vLow = _mm_unpacklo_ps(vA, vB);   // frames 0 and 1
                const __m128 vHigh = _mm_unpackhi_ps(vA, vB);  // frames 2 and 3
                float* pOut = out_pFrames + uFrame * uStride + uColumn;
                Store2(pOut, vLow, false);
                Store2(pOut + uStride, vLow, true);
                Store2(pOut + 2 * uStride, vHigh, false);
                Store2(pOut + 3 * uStride, vHigh, true);
            }
        }
        for (uint32_t uColumn = uFirstSingle; uColumn < in_uColumns; ++uColumn) {
            for (uint32_t uFrame = uChunk; uFrame < uChunkEnd; ++uFrame) {
                out_pFrames[uFrame * uStride + uColumn] = Sample<kRamped>(
                    in_apSources[uColumn], uFrame, in_fGain, in_fGainStep, in_uGainIndex);
            }
        }
    }
    return uBlockFrames;
}

#endif

template <bool kRamped>
void Interleave(const float* const* in_apSources, uint32_t in_uColumns, uint32_t in_uFirstFrame,
                uint32_t in_uFrames, float in_fGain, float in_fGainStep, float* out_pFrames) {
    if (in_uColumns == 0 || in_uColumns > kMaxInterleaveColumns) {
        return;
    }
    // The sources from the first frame on (a silent column stays silent).
    const float* apSources[kMaxInterleaveColumns];
    for (uint32_t uColumn = 0; uColumn < in_uColumns; ++uColumn) {
        apSources[uColumn] =
            in_apSources[uColumn] != nullptr ? in_apSources[uColumn] + in_uFirstFrame : nullptr;
    }
    uint32_t uFrame = 0;
#if defined(ZV_FRAME_INTERLEAVER_SSE2)
    uFrame = InterleaveBlocks<kRamped>(apSources, in_uColumns, in_uFrames, in_fGain, in_fGainStep,
                                       in_uFirstFrame, out_pFrames);
#endif
    for (; uFrame < in_uFrames; ++uFrame) {
        float* pOut = out_pFrames + static_cast<size_t>(uFrame) * in_uColumns;
        for (uint32_t uColumn = 0; uColumn < in_uColumns; ++uColumn) {
            pOut[uColumn] =
                Sample<kRamped>(apSources[uColumn], uFrame, in_fGain, in_fGainStep, in_uFirstFrame);
        }
    }
}

}  // namespace

void InterleaveFrames(const float* const* in_apSources, uint32_t in_uColumns,
                      uint32_t in_uFirstFrame, uint32_t in_uFrames, float* out_pFrames) {
    Interleave<false>(in_apSources, in_uColumns, in_uFirstFrame, in_uFrames, 0.0f, 0.0f,
                      out_pFrames);
}

void InterleaveFramesRamped(const float* const* in_apSources, uint32_t in_uColumns,
                            uint32_t in_uFirstFrame, uint32_t in_uFrames, float in_fGain,
                            float in_fGainStep, float* out_pFrames) {
    Interleave<true>(in_apSources, in_uColumns, in_uFirstFrame, in_uFrames, in_fGain, in_fGainStep,
                     out_pFrames);
}
