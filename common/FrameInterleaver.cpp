#include "FrameInterleaver.h"

#include <stddef.h>

// The instruction set, not the platform, decides the path: every x86 target of the family has
// SSE2 (the 64-bit ones always, the 32-bit desktop build with it enabled); a build without it
// takes the portable loop.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define ZV_FRAME_INTERLEAVER_SSE2 1
#include <emmintrin.h>
#endif

// The 64-bit x86 targets may not assume AVX at build time, so its path is compiled for AVX function
// by function and taken only where the processor (and the system, which must save the wide
// registers) has it, which is looked up once, when the module is loaded. GCC and clang (MinGW-w64
// too) can do that; other compilers, and 32-bit builds, keep to SSE2.
#if defined(ZV_FRAME_INTERLEAVER_SSE2) && defined(__x86_64__) && defined(__GNUC__)
#define ZV_FRAME_INTERLEAVER_AVX 1
#include <immintrin.h>
#define ZV_TARGET_AVX __attribute__((target("avx")))
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

#if defined(ZV_FRAME_INTERLEAVER_AVX)

// The AVX path moves eight frames at a time. Eight columns make an 8 x 8 transpose whose rows are
// whole output frames of 32 bytes: each register is loaded with four frames of column k in its low
// half and the same four frames of column k + 4 in its high half, so that one 4 x 4 transpose
// within the halves leaves a frame's eight columns in one register. Four columns left over give
// 16-byte rows, two give 8-byte ones, as in the SSE2 path; an odd last column goes sample by
// sample. Every product is the same single multiplication as in the other paths (AVX alone has no
// fused multiply-add, which would round differently), and a silent column is never multiplied
// (zero times a negative gain would be -0).

// Four frames of a column from in_uFrame on, times their gains when ramped; zeros for a silent
// column.
template <bool kRamped>
ZV_TARGET_AVX inline __m128 LoadQuad(const float* in_pSource, uint32_t in_uFrame,
                                     const float* in_pGains) {
    if (in_pSource == nullptr) {
        return _mm_setzero_ps();
    }
    const __m128 vSamples = _mm_loadu_ps(in_pSource + in_uFrame);
    return kRamped ? _mm_mul_ps(vSamples, _mm_loadu_ps(in_pGains)) : vSamples;
}

// The same four frames of in_pLow in the low half and of in_pHigh in the high half.
template <bool kRamped>
ZV_TARGET_AVX inline __m256 LoadQuadPair(const float* in_pLow, const float* in_pHigh,
                                         uint32_t in_uFrame, const float* in_pGains) {
    return _mm256_insertf128_ps(
        _mm256_castps128_ps256(LoadQuad<kRamped>(in_pLow, in_uFrame, in_pGains)),
        LoadQuad<kRamped>(in_pHigh, in_uFrame, in_pGains), 1);
}

// Eight frames of a column from in_uFrame on, times their gains when ramped; zeros for a silent
// column.
template <bool kRamped>
ZV_TARGET_AVX inline __m256 LoadOctet(const float* in_pSource, uint32_t in_uFrame,
                                      const float* in_pGains) {
    if (in_pSource == nullptr) {
        return _mm256_setzero_ps();
    }
    const __m256 vSamples = _mm256_loadu_ps(in_pSource + in_uFrame);
    return kRamped ? _mm256_mul_ps(vSamples, _mm256_loadu_ps(in_pGains)) : vSamples;
}

// A 4 x 4 transpose within each 128-bit half: afterwards register j holds element j of the four
// inputs, half by half.
ZV_TARGET_AVX inline void TransposeHalves(__m256& io_v0, __m256& io_v1, __m256& io_v2,
                                          __m256& io_v3) {
    const __m256 t0 = _mm256_unpacklo_ps(io_v0, io_v1);
    const __m256 t1 = _mm256_unpackhi_ps(io_v0, io_v1);
    const __m256 t2 = _mm256_unpacklo_ps(io_v2, io_v3);
    const __m256 t3 = _mm256_unpackhi_ps(io_v2, io_v3);
    io_v0 = _mm256_shuffle_ps(t0, t2, 0x44);
    io_v1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    io_v2 = _mm256_shuffle_ps(t1, t3, 0x44);
    io_v3 = _mm256_shuffle_ps(t1, t3, 0xEE);
}

// Eight columns over frames in_uFirst to in_uEnd (a multiple of eight apart); in_pGains holds the
// gains of the frames from in_uFirst on when ramped. kSilent: some of the sources may be null.
template <bool kRamped, bool kSilent>
ZV_TARGET_AVX void InterleaveOctet(const float* const* in_ppSources, uint32_t in_uFirst,
                                   uint32_t in_uEnd, const float* in_pGains, size_t in_uStride,
                                   float* out_pColumn) {
    const float* const p0 = in_ppSources[0];
    const float* const p1 = in_ppSources[1];
    const float* const p2 = in_ppSources[2];
    const float* const p3 = in_ppSources[3];
    const float* const p4 = in_ppSources[4];
    const float* const p5 = in_ppSources[5];
    const float* const p6 = in_ppSources[6];
    const float* const p7 = in_ppSources[7];
    const size_t uStride3 = 3 * in_uStride;
    const size_t uStride4 = 4 * in_uStride;
    float* pOut = out_pColumn + in_uFirst * in_uStride;
    for (uint32_t uFrame = in_uFirst; uFrame < in_uEnd; uFrame += 8) {
        const float* pGains = in_pGains + (uFrame - in_uFirst);
        __m256 a0, a1, a2, a3;  // frames 0 to 3 of the eight
        __m256 b0, b1, b2, b3;  // frames 4 to 7
        if (kSilent) {
            a0 = LoadQuadPair<kRamped>(p0, p4, uFrame, pGains);
            a1 = LoadQuadPair<kRamped>(p1, p5, uFrame, pGains);
            a2 = LoadQuadPair<kRamped>(p2, p6, uFrame, pGains);
            a3 = LoadQuadPair<kRamped>(p3, p7, uFrame, pGains);
            b0 = LoadQuadPair<kRamped>(p0, p4, uFrame + 4, pGains + 4);
            b1 = LoadQuadPair<kRamped>(p1, p5, uFrame + 4, pGains + 4);
            b2 = LoadQuadPair<kRamped>(p2, p6, uFrame + 4, pGains + 4);
            b3 = LoadQuadPair<kRamped>(p3, p7, uFrame + 4, pGains + 4);
        } else {
            a0 = _mm256_loadu2_m128(p4 + uFrame, p0 + uFrame);
            a1 = _mm256_loadu2_m128(p5 + uFrame, p1 + uFrame);
            a2 = _mm256_loadu2_m128(p6 + uFrame, p2 + uFrame);
            a3 = _mm256_loadu2_m128(p7 + uFrame, p3 + uFrame);
            b0 = _mm256_loadu2_m128(p4 + uFrame + 4, p0 + uFrame + 4);
            b1 = _mm256_loadu2_m128(p5 + uFrame + 4, p1 + uFrame + 4);
            b2 = _mm256_loadu2_m128(p6 + uFrame + 4, p2 + uFrame + 4);
            b3 = _mm256_loadu2_m128(p7 + uFrame + 4, p3 + uFrame + 4);
            if (kRamped) {
                const __m256 vGainA = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(pGains));
                const __m256 vGainB =
                    _mm256_broadcast_ps(reinterpret_cast<const __m128*>(pGains + 4));
                a0 = _mm256_mul_ps(a0, vGainA);
                a1 = _mm256_mul_ps(a1, vGainA);
                a2 = _mm256_mul_ps(a2, vGainA);
                a3 = _mm256_mul_ps(a3, vGainA);
                b0 = _mm256_mul_ps(b0, vGainB);
                b1 = _mm256_mul_ps(b1, vGainB);
                b2 = _mm256_mul_ps(b2, vGainB);
                b3 = _mm256_mul_ps(b3, vGainB);
            }
        }
        TransposeHalves(a0, a1, a2, a3);
        TransposeHalves(b0, b1, b2, b3);
        // Rows 0 to 3 and 4 to 7 from two pointers, each row a scaled index away (no offsets
        // kept on the stack).
        float* const pOut4 = pOut + uStride4;
        _mm256_storeu_ps(pOut, a0);
        _mm256_storeu_ps(pOut + in_uStride, a1);
        _mm256_storeu_ps(pOut + 2 * in_uStride, a2);
        _mm256_storeu_ps(pOut + uStride3, a3);
        _mm256_storeu_ps(pOut4, b0);
        _mm256_storeu_ps(pOut4 + in_uStride, b1);
        _mm256_storeu_ps(pOut4 + 2 * in_uStride, b2);
        _mm256_storeu_ps(pOut4 + uStride3, b3);
        pOut = pOut4 + uStride4;
    }
}

// Four columns over eight frames at a time: register k holds column k's eight frames, and the
// transpose within the halves leaves frame j of the eight in the low half of register j and frame
// j + 4 in its high half.
template <bool kRamped>
ZV_TARGET_AVX void InterleaveQuartet(const float* const* in_ppSources, uint32_t in_uFirst,
                                     uint32_t in_uEnd, const float* in_pGains, size_t in_uStride,
                                     float* out_pColumn) {
    // The sources are read once, before the loop, so that it does not look them up again.
    const float* const p0 = in_ppSources[0];
    const float* const p1 = in_ppSources[1];
    const float* const p2 = in_ppSources[2];
    const float* const p3 = in_ppSources[3];
    const size_t uStride3 = 3 * in_uStride;
    const size_t uStride4 = 4 * in_uStride;
    float* pOut = out_pColumn + in_uFirst * in_uStride;
    for (uint32_t uFrame = in_uFirst; uFrame < in_uEnd; uFrame += 8) {
        const float* pGains = in_pGains + (uFrame - in_uFirst);
        __m256 v0 = LoadOctet<kRamped>(p0, uFrame, pGains);
        __m256 v1 = LoadOctet<kRamped>(p1, uFrame, pGains);
        __m256 v2 = LoadOctet<kRamped>(p2, uFrame, pGains);
        __m256 v3 = LoadOctet<kRamped>(p3, uFrame, pGains);
        TransposeHalves(v0, v1, v2, v3);
        float* const pOut4 = pOut + uStride4;
        _mm256_storeu2_m128(pOut4, pOut, v0);
        _mm256_storeu2_m128(pOut4 + in_uStride, pOut + in_uStride, v1);
        _mm256_storeu2_m128(pOut4 + 2 * in_uStride, pOut + 2 * in_uStride, v2);
        _mm256_storeu2_m128(pOut4 + uStride3, pOut + uStride3, v3);
        pOut = pOut4 + uStride4;
    }
}

// Two columns over eight frames at a time: interleaved, the low register holds frames 0, 1 | 4, 5
// and the high one frames 2, 3 | 6, 7, two floats each.
template <bool kRamped>
ZV_TARGET_AVX void InterleaveDuo(const float* const* in_ppSources, uint32_t in_uFirst,
                                 uint32_t in_uEnd, const float* in_pGains, size_t in_uStride,
                                 float* out_pColumn) {
    float* pOut = out_pColumn + in_uFirst * in_uStride;
    for (uint32_t uFrame = in_uFirst; uFrame < in_uEnd; uFrame += 8) {
        const float* pGains = in_pGains + (uFrame - in_uFirst);
        const __m256 vA = LoadOctet<kRamped>(in_ppSources[0], uFrame, pGains);
        const __m256 vB = LoadOctet<kRamped>(in_ppSources[1], uFrame, pGains);
        const __m256 vLow = _mm256_unpacklo_ps(vA, vB);
        const __m256 vHigh = _mm256_unpackhi_ps(vA, vB);
        const __m128 aHalves[4] = {_mm256_castps256_ps128(vLow), _mm256_castps256_ps128(vHigh),
                                   _mm256_extractf128_ps(vLow, 1), _mm256_extractf128_ps(vHigh, 1)};
        for (uint32_t uHalf = 0; uHalf < 4; ++uHalf) {
            float* pPair = pOut + 2 * uHalf * in_uStride;
            _mm_storel_pi(reinterpret_cast<__m64*>(pPair), aHalves[uHalf]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(pPair + in_uStride), aHalves[uHalf]);
        }
        pOut += 8 * in_uStride;
    }
}

// Frames per chunk of the AVX path: its first pass over a chunk keeps eight channels in flight,
// which are fetched better in longer runs (measured on a 7.1.4 bed of 4 KiB channels: 128 frames
// are about a twentieth faster than 64 and as fast as 256; 512 are slower again). The chunk's
// output, 6 KiB for twelve columns, stays in the first-level cache until its last pass.
constexpr uint32_t kAvxChunkFrames = 128;

// The whole blocks of eight frames; returns the first frame it left.
template <bool kRamped>
ZV_TARGET_AVX uint32_t InterleaveBlocksAvx(const float* const* in_apSources, uint32_t in_uColumns,
                                           uint32_t in_uFrames, float in_fGain, float in_fGainStep,
                                           uint32_t in_uGainIndex, float* out_pFrames) {
    const uint32_t uOctets = in_uColumns / 8;
    const bool bQuartet = in_uColumns % 8 >= 4;
    const uint32_t uQuartet = uOctets * 8;
    const bool bDuo = in_uColumns % 4 >= 2;
    const uint32_t uDuo = uQuartet + (bQuartet ? 4 : 0);
    const uint32_t uFirstSingle = uDuo + (bDuo ? 2 : 0);
    const size_t uStride = in_uColumns;
    const __m128 vGain = _mm_set1_ps(in_fGain);
    const __m128 vGainStep = _mm_set1_ps(in_fGainStep);
    const uint32_t uBlockFrames = in_uFrames & ~7u;
    alignas(32) float afGains[kAvxChunkFrames];  // the gains of the chunk's frames

    for (uint32_t uChunk = 0; uChunk < uBlockFrames; uChunk += kAvxChunkFrames) {
        const uint32_t uChunkEnd =
            uBlockFrames - uChunk < kAvxChunkFrames ? uBlockFrames : uChunk + kAvxChunkFrames;
        if (kRamped) {
            for (uint32_t uFrame = uChunk; uFrame < uChunkEnd; uFrame += 4) {
                _mm_storeu_ps(afGains + (uFrame - uChunk),
                              RampGains(in_uGainIndex + uFrame, vGain, vGainStep));
            }
        }
        for (uint32_t uOctet = 0; uOctet < uOctets; ++uOctet) {
            const float* const* ppSources = in_apSources + uOctet * 8;
            bool bSilent = false;
            for (uint32_t uColumn = 0; uColumn < 8; ++uColumn) {
                bSilent = bSilent || ppSources[uColumn] == nullptr;
            }
            if (bSilent) {
                InterleaveOctet<kRamped, true>(ppSources, uChunk, uChunkEnd, afGains, uStride,
                                               out_pFrames + uOctet * 8);
            } else {
                InterleaveOctet<kRamped, false>(ppSources, uChunk, uChunkEnd, afGains, uStride,
                                                out_pFrames + uOctet * 8);
            }
        }
        if (bQuartet) {
            InterleaveQuartet<kRamped>(in_apSources + uQuartet, uChunk, uChunkEnd, afGains, uStride,
                                       out_pFrames + uQuartet);
        }
        if (bDuo) {
            InterleaveDuo<kRamped>(in_apSources + uDuo, uChunk, uChunkEnd, afGains, uStride,
                                   out_pFrames + uDuo);
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

// Frames in_uDone on of the call, by in_pfnBlocks: returns the frames it wrote.
template <bool kRamped>
uint32_t RunBlocks(uint32_t (*in_pfnBlocks)(const float* const*, uint32_t, uint32_t, float, float,
                                            uint32_t, float*),
                   const float* const* in_apSources, uint32_t in_uColumns, uint32_t in_uFirstFrame,
                   uint32_t in_uDone, uint32_t in_uFrames, float in_fGain, float in_fGainStep,
                   float* out_pFrames) {
    // The sources from the first frame left on (a silent column stays silent).
    const float* apSources[kMaxInterleaveColumns];
    const uint32_t uFrom = in_uFirstFrame + in_uDone;
    for (uint32_t uColumn = 0; uColumn < in_uColumns; ++uColumn) {
        apSources[uColumn] =
            in_apSources[uColumn] != nullptr ? in_apSources[uColumn] + uFrom : nullptr;
    }
    return in_pfnBlocks(apSources, in_uColumns, in_uFrames - in_uDone, in_fGain, in_fGainStep,
                        uFrom, out_pFrames + static_cast<size_t>(in_uDone) * in_uColumns);
}

template <bool kRamped>
void Interleave(InterleavePath in_ePath, const float* const* in_apSources, uint32_t in_uColumns,
                uint32_t in_uFirstFrame, uint32_t in_uFrames, float in_fGain, float in_fGainStep,
                float* out_pFrames) {
    if (in_uColumns == 0 || in_uColumns > kMaxInterleaveColumns) {
        return;
    }
    // The widest path takes what it can, the next the blocks of four left, and the frames left
    // after that go one sample at a time (all of them, in a build without SSE2).
    static_cast<void>(in_ePath);
    uint32_t uDone = 0;
#if defined(ZV_FRAME_INTERLEAVER_AVX)
    if (in_ePath == InterleavePath::Avx) {
        uDone += RunBlocks<kRamped>(&InterleaveBlocksAvx<kRamped>, in_apSources, in_uColumns,
                                    in_uFirstFrame, uDone, in_uFrames, in_fGain, in_fGainStep,
                                    out_pFrames);
    }
#endif
#if defined(ZV_FRAME_INTERLEAVER_SSE2)
    if (in_ePath != InterleavePath::Portable) {
        uDone += RunBlocks<kRamped>(&InterleaveBlocks<kRamped>, in_apSources, in_uColumns,
                                    in_uFirstFrame, uDone, in_uFrames, in_fGain, in_fGainStep,
                                    out_pFrames);
    }
#endif
    for (uint32_t uFrame = uDone; uFrame < in_uFrames; ++uFrame) {
        float* pOut = out_pFrames + static_cast<size_t>(uFrame) * in_uColumns;
        for (uint32_t uColumn = 0; uColumn < in_uColumns; ++uColumn) {
            const float* pSource = in_apSources[uColumn];
            pOut[uColumn] = Sample<kRamped>(pSource != nullptr ? pSource + in_uFirstFrame : nullptr,
                                            uFrame, in_fGain, in_fGainStep, in_uFirstFrame);
        }
    }
}

// The path the module takes: SSE2 where it is built (set before any code runs, so that even a call
// from another module's initialisation finds a path), then, while the module is loaded and before
// any audio thread can run, AVX where the processor has it. Read-only from then on.
#if defined(ZV_FRAME_INTERLEAVER_SSE2)
InterleavePath g_eSelectedPath = InterleavePath::Sse2;
#else
InterleavePath g_eSelectedPath = InterleavePath::Portable;
#endif

struct PathSelection {
    PathSelection() {
        if (InterleavePathAvailable(InterleavePath::Avx)) {
            g_eSelectedPath = InterleavePath::Avx;
        }
    }
};
const PathSelection g_pathSelection;

}  // namespace

bool InterleavePathAvailable(InterleavePath in_ePath) {
    switch (in_ePath) {
        case InterleavePath::Portable:
            return true;
        case InterleavePath::Sse2:
#if defined(ZV_FRAME_INTERLEAVER_SSE2)
            return true;
#else
            return false;
#endif
        case InterleavePath::Avx:
#if defined(ZV_FRAME_INTERLEAVER_AVX)
            // Looked up once: the answer (which also says that the system saves the wide
            // registers) does not change while the process runs.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx");
#else
            return false;
#endif
    }
    return false;
}

InterleavePath SelectedInterleavePath() {
    return g_eSelectedPath;
}

void InterleaveFramesOn(InterleavePath in_ePath, const float* const* in_apSources,
                        uint32_t in_uColumns, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                        float* out_pFrames) {
    if (!InterleavePathAvailable(in_ePath)) {
        return;
    }
    Interleave<false>(in_ePath, in_apSources, in_uColumns, in_uFirstFrame, in_uFrames, 0.0f, 0.0f,
                      out_pFrames);
}

void InterleaveFramesRampedOn(InterleavePath in_ePath, const float* const* in_apSources,
                              uint32_t in_uColumns, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                              float in_fGain, float in_fGainStep, float* out_pFrames) {
    if (!InterleavePathAvailable(in_ePath)) {
        return;
    }
    Interleave<true>(in_ePath, in_apSources, in_uColumns, in_uFirstFrame, in_uFrames, in_fGain,
                     in_fGainStep, out_pFrames);
}

void InterleaveFrames(const float* const* in_apSources, uint32_t in_uColumns,
                      uint32_t in_uFirstFrame, uint32_t in_uFrames, float* out_pFrames) {
    Interleave<false>(g_eSelectedPath, in_apSources, in_uColumns, in_uFirstFrame, in_uFrames, 0.0f,
                      0.0f, out_pFrames);
}

void InterleaveFramesRamped(const float* const* in_apSources, uint32_t in_uColumns,
                            uint32_t in_uFirstFrame, uint32_t in_uFrames, float in_fGain,
                            float in_fGainStep, float* out_pFrames) {
    Interleave<true>(g_eSelectedPath, in_apSources, in_uColumns, in_uFirstFrame, in_uFrames,
                     in_fGain, in_fGainStep, out_pFrames);
}
