#include "FrameDeinterleaver.h"

#include <stddef.h>

// As in the interleaver: the instruction set, not the platform, decides the path.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define ZV_FRAME_DEINTERLEAVER_SSE2 1
#include <emmintrin.h>
#endif

namespace {

void DeinterleaveColumn(const float* in_pFrames, uint32_t in_uStride, uint32_t in_uColumn,
                        uint32_t in_uFirst, uint32_t in_uEnd, float* out_pColumn) {
    for (uint32_t uFrame = in_uFirst; uFrame < in_uEnd; ++uFrame) {
        out_pColumn[uFrame] = in_pFrames[static_cast<size_t>(uFrame) * in_uStride + in_uColumn];
    }
}

#if defined(ZV_FRAME_DEINTERLEAVER_SSE2)

// Columns in_uColumn to in_uColumn + 3, all written, over the whole blocks of four frames; returns
// the first frame it left.
uint32_t DeinterleaveGroup(const float* in_pFrames, uint32_t in_uStride, uint32_t in_uColumn,
                           uint32_t in_uFrames, float* const* out_apColumns) {
    float* p0 = out_apColumns[0];
    float* p1 = out_apColumns[1];
    float* p2 = out_apColumns[2];
    float* p3 = out_apColumns[3];
    const size_t uStride = in_uStride;
    const float* pIn = in_pFrames + in_uColumn;
    const uint32_t uBlockFrames = in_uFrames & ~3u;
    for (uint32_t uFrame = 0; uFrame < uBlockFrames; uFrame += 4) {
        __m128 v0 = _mm_loadu_ps(pIn);
        __m128 v1 = _mm_loadu_ps(pIn + uStride);
        __m128 v2 = _mm_loadu_ps(pIn + 2 * uStride);
        __m128 v3 = _mm_loadu_ps(pIn + 3 * uStride);
        _MM_TRANSPOSE4_PS(v0, v1, v2, v3);
        _mm_storeu_ps(p0 + uFrame, v0);
        _mm_storeu_ps(p1 + uFrame, v1);
        _mm_storeu_ps(p2 + uFrame, v2);
        _mm_storeu_ps(p3 + uFrame, v3);
        pIn += 4 * uStride;
    }
    return uBlockFrames;
}

#endif

}  // namespace

bool DeinterleaveFramesOn(InterleavePath in_ePath, const float* in_pFrames, uint32_t in_uStride,
                          uint32_t in_uColumns, uint32_t in_uFrames, float* const* out_apColumns) {
    if (in_ePath == InterleavePath::Avx) {
        return false;
    }
#if !defined(ZV_FRAME_DEINTERLEAVER_SSE2)
    if (in_ePath == InterleavePath::Sse2) {
        return false;
    }
#endif
    uint32_t uColumn = 0;
#if defined(ZV_FRAME_DEINTERLEAVER_SSE2)
    // Four columns at a time where all four are written (a group's loads read four neighbouring
    // samples of a frame, all inside it).
    for (; in_ePath == InterleavePath::Sse2 && uColumn + 4 <= in_uColumns; uColumn += 4) {
        float* const* ppColumns = out_apColumns + uColumn;
        if (ppColumns[0] == nullptr || ppColumns[1] == nullptr || ppColumns[2] == nullptr ||
            ppColumns[3] == nullptr) {
            for (uint32_t uOne = 0; uOne < 4; ++uOne) {
                if (ppColumns[uOne] != nullptr) {
                    DeinterleaveColumn(in_pFrames, in_uStride, uColumn + uOne, 0, in_uFrames,
                                       ppColumns[uOne]);
                }
            }
            continue;
        }
        const uint32_t uDone =
            DeinterleaveGroup(in_pFrames, in_uStride, uColumn, in_uFrames, ppColumns);
        for (uint32_t uOne = 0; uOne < 4; ++uOne) {
            DeinterleaveColumn(in_pFrames, in_uStride, uColumn + uOne, uDone, in_uFrames,
                               ppColumns[uOne]);
        }
    }
#endif
    for (; uColumn < in_uColumns; ++uColumn) {
        if (out_apColumns[uColumn] != nullptr) {
            DeinterleaveColumn(in_pFrames, in_uStride, uColumn, 0, in_uFrames,
                               out_apColumns[uColumn]);
        }
    }
    return true;
}

void DeinterleaveFrames(const float* in_pFrames, uint32_t in_uStride, uint32_t in_uColumns,
                        uint32_t in_uFrames, float* const* out_apColumns) {
#if defined(ZV_FRAME_DEINTERLEAVER_SSE2)
    DeinterleaveFramesOn(InterleavePath::Sse2, in_pFrames, in_uStride, in_uColumns, in_uFrames,
                         out_apColumns);
#else
    DeinterleaveFramesOn(InterleavePath::Portable, in_pFrames, in_uStride, in_uColumns, in_uFrames,
                         out_apColumns);
#endif
}
