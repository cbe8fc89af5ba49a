#include "WavTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <sndfile.h>

#include "SampleVectors.h"
#include "ZvVectorClones.h"

namespace scene {

namespace {

// What FlushBefore measures at a time (well inside a core's cache) and writes at a time.
constexpr size_t kMeasureBytes = 64 * 1024;
constexpr size_t kWriteBytes = 1024 * 1024;

// Adds the squares of each of the first in_uChannels channels to io_pSums and raises io_pPeaks to
// its largest magnitude, over in_uFrames interleaved frames of in_uStride channels, the frames in
// order (any layout; the speakers' and the ears' have vector versions below).
void SumFramesOfAny(const float* in_pFrames, size_t in_uFrames, uint32_t in_uStride,
                    uint32_t in_uChannels, double* io_pSums, float* io_pPeaks) {
    for (size_t uIndex = 0; uIndex < in_uFrames; ++uIndex, in_pFrames += in_uStride) {
        for (uint32_t uChannel = 0; uChannel < in_uChannels; ++uChannel) {
            const float fSample = in_pFrames[uChannel];
            io_pSums[uChannel] += static_cast<double>(fSample) * fSample;
            io_pPeaks[uChannel] = std::max(io_pPeaks[uChannel], std::fabs(fSample));
        }
    }
}

// std::max(in_peak, |in_samples|) lane by lane.
template <typename Floats, typename Ints>
inline Floats RaisedPeak(Floats in_peak, Floats in_samples) {
    const Ints magnitude = reinterpret_cast<Ints>(in_samples) & 0x7fffffff;
    const Ints bigger = in_peak < reinterpret_cast<Floats>(magnitude);
    return reinterpret_cast<Floats>((magnitude & bigger) |
                                    (reinterpret_cast<Ints>(in_peak) & ~bigger));
}

// The speakers' and the ears' layouts, a frame's channels in vectors of four or two: each lane
// is one channel, whose sum still takes its frames in order and whose peak is the same maximum,
// so the levels are the same as one channel at a time.
ZV_VECTOR_CLONES void SumFrames12(const float* in_pFrames, size_t in_uFrames, double* io_pSums,
                                  float* io_pPeaks) {
    Doubles4 aSums[3];
    Floats4 aPeaks[3];
    std::memcpy(aSums, io_pSums, sizeof(aSums));
    std::memcpy(aPeaks, io_pPeaks, sizeof(aPeaks));
    for (size_t uFrame = 0; uFrame < in_uFrames; ++uFrame, in_pFrames += 12) {
        for (int iGroup = 0; iGroup < 3; ++iGroup) {
            Floats4 samples;
            std::memcpy(&samples, in_pFrames + 4 * iGroup, sizeof(samples));
            const Doubles4 wide = __builtin_convertvector(samples, Doubles4);
            aSums[iGroup] += wide * wide;
            aPeaks[iGroup] = RaisedPeak<Floats4, Ints4>(aPeaks[iGroup], samples);
        }
    }
    std::memcpy(io_pSums, aSums, sizeof(aSums));
    std::memcpy(io_pPeaks, aPeaks, sizeof(aPeaks));
}

ZV_VECTOR_CLONES void SumFrames2(const float* in_pFrames, size_t in_uFrames, double* io_pSums,
                                 float* io_pPeaks) {
    Doubles2 sums;
    Floats2 peaks;
    std::memcpy(&sums, io_pSums, sizeof(sums));
    std::memcpy(&peaks, io_pPeaks, sizeof(peaks));
    for (size_t uFrame = 0; uFrame < in_uFrames; ++uFrame, in_pFrames += 2) {
        Floats2 samples;
        std::memcpy(&samples, in_pFrames, sizeof(samples));
        const Doubles2 wide = __builtin_convertvector(samples, Doubles2);
        sums += wide * wide;
        peaks = RaisedPeak<Floats2, Ints2>(peaks, samples);
    }
    std::memcpy(io_pSums, &sums, sizeof(sums));
    std::memcpy(io_pPeaks, &peaks, sizeof(peaks));
}

// Whether any sample is beyond full scale or not a number, eight at a time.
ZV_VECTOR_CLONES bool AnyBeyondFullScale(const float* in_pSamples, size_t in_uSamples) {
    Ints8 beyond = {};
    size_t uSample = 0;
    for (; uSample + 8 <= in_uSamples; uSample += 8) {
        Floats8 samples;
        std::memcpy(&samples, in_pSamples + uSample, sizeof(samples));
        const Floats8 magnitude =
            reinterpret_cast<Floats8>(reinterpret_cast<Ints8>(samples) & 0x7fffffff);
        beyond |= ~(magnitude <= 1.0f);
    }
    int32_t iBeyond = 0;
    for (int iLane = 0; iLane < 8; ++iLane) {
        iBeyond |= beyond[iLane];
    }
    bool bBeyond = iBeyond != 0;
    for (; uSample < in_uSamples; ++uSample) {
        bBeyond |= !(std::fabs(in_pSamples[uSample]) <= 1.0f);
    }
    return bBeyond;
}

void SumFrames(const float* in_pFrames, size_t in_uFrames, uint32_t in_uStride,
               uint32_t in_uChannels, double* io_pSums, float* io_pPeaks) {
    if (in_uStride == 12 && in_uChannels == 12) {
        SumFrames12(in_pFrames, in_uFrames, io_pSums, io_pPeaks);
    } else if (in_uStride == 2 && in_uChannels == 2) {
        SumFrames2(in_pFrames, in_uFrames, io_pSums, io_pPeaks);
    } else {
        SumFramesOfAny(in_pFrames, in_uFrames, in_uStride, in_uChannels, io_pSums, io_pPeaks);
    }
}

}  // namespace

WavTimeline::~WavTimeline() {
    if (m_pFile != nullptr) {
        sf_close(m_pFile);
    }
}

bool WavTimeline::Open(const std::string& in_path, uint32_t in_uChannels, uint32_t in_uSampleRate,
                       const int* in_pChannelMap, uint32_t in_uLevelWindowFrames,
                       std::string& out_error) {
    SF_INFO info = {};
    info.samplerate = static_cast<int>(in_uSampleRate);
    info.channels = static_cast<int>(in_uChannels);
    info.format = (in_pChannelMap != nullptr ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
    m_pFile = sf_open(in_path.c_str(), SFM_WRITE, &info);
    if (m_pFile == nullptr) {
        out_error = "cannot write " + in_path + ": " + sf_strerror(nullptr);
        return false;
    }
    // No PEAK chunk: it carries the time of writing, and a scene played twice must give the same
    // bytes (the report has the peaks).
    sf_command(m_pFile, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (in_pChannelMap != nullptr) {
        std::vector<int> map(in_pChannelMap, in_pChannelMap + in_uChannels);
        if (sf_command(m_pFile, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                       static_cast<int>(map.size() * sizeof(int))) != SF_TRUE) {
            out_error = "cannot set the channel map of " + in_path;
            return false;
        }
    }
    m_uChannels = in_uChannels;
    // Room for two seconds of frames from the start: a listener mix keeps up to about a second
    // and a half unwritten (late passes, and a second written at a time), and growing to it
    // would copy the frames and touch fresh memory at every doubling. The room is touched here,
    // before the run, so that the mix does not meet its pages one fault at a time.
    m_data.assign(size_t{in_uSampleRate} * 2 * in_uChannels, 0.0f);
    m_data.clear();
    m_uWindow = std::max<uint32_t>(1, in_uLevelWindowFrames);
    m_windowSums.assign(in_uChannels, 0.0);
    m_levels.assign(in_uChannels, std::vector<float>());
    m_peaks.assign(in_uChannels, 0.0f);
    m_nonFinite.assign(in_uChannels, 0);
    m_clipped.assign(in_uChannels, 0);
    return true;
}

float* WavTimeline::Frames(uint64_t in_uFrame, size_t in_uFrames, bool* out_pUncleared) {
    if (out_pUncleared != nullptr) {
        *out_pUncleared = false;
    }
    if (in_uFrame < m_uBase) {
        ++m_uLateAdds;
        return nullptr;
    }
    const size_t uStart = static_cast<size_t>(in_uFrame - m_uBase) * m_uChannels;
    const size_t uEnd = uStart + in_uFrames * m_uChannels;
    const size_t uHeld = m_data.size();
    if (uHeld < uEnd) {
        if (out_pUncleared != nullptr && uHeld <= uStart) {
            // Silence up to the range; the range itself is the caller's to write.
            m_data.resize(uEnd);
            std::fill(m_data.begin() + uHeld, m_data.begin() + uStart, 0.0f);
            *out_pUncleared = true;
        } else {
            m_data.resize(uEnd, 0.0f);
        }
    }
    return m_data.data() + uStart;
}

void WavTimeline::Measure(float* io_pFrames, size_t in_uFrames) {
    // Samples beyond full scale or not numbers are rare: one pass that vectorises looks for them,
    // and only then does the counting and the silencing.
    const size_t uSamples = in_uFrames * m_uChannels;
    if (AnyBeyondFullScale(io_pFrames, uSamples)) {
        for (size_t uSample = 0; uSample < uSamples; ++uSample) {
            float& fSample = io_pFrames[uSample];
            if (std::fabs(fSample) <= 1.0f) {
                continue;
            }
            if (std::isfinite(fSample)) {
                ++m_clipped[uSample % m_uChannels];
            } else {
                fSample = 0.0f;
                ++m_nonFinite[uSample % m_uChannels];
            }
        }
    }
    // Per channel in locals, which the compiler keeps in registers (the members could alias the
    // frames); the sums take the frames in the same order as ever, so the levels are the same.
    constexpr uint32_t kMaxChannels = 16;
    const uint32_t uChannels = std::min(m_uChannels, kMaxChannels);
    double aSums[kMaxChannels];
    float aPeaks[kMaxChannels];
    for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
        aSums[uChannel] = m_windowSums[uChannel];
        aPeaks[uChannel] = m_peaks[uChannel];
    }
    size_t uFrame = 0;
    while (uFrame < in_uFrames) {
        const size_t uRun = std::min<size_t>(in_uFrames - uFrame, m_uWindow - m_uWindowFill);
        SumFrames(io_pFrames + uFrame * m_uChannels, uRun, m_uChannels, uChannels, aSums, aPeaks);
        uFrame += uRun;
        m_uWindowFill += static_cast<uint32_t>(uRun);
        if (m_uWindowFill == m_uWindow) {
            for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
                m_levels[uChannel].push_back(
                    static_cast<float>(std::sqrt(aSums[uChannel] / m_uWindow)));
                aSums[uChannel] = 0.0;
            }
            m_uWindowFill = 0;
        }
    }
    for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
        m_windowSums[uChannel] = aSums[uChannel];
        m_peaks[uChannel] = aPeaks[uChannel];
    }
}

void WavTimeline::FlushBefore(uint64_t in_uFrame) {
    if (m_pFile == nullptr || in_uFrame <= m_uBase) {
        return;
    }
    const size_t uFrames = static_cast<size_t>(in_uFrame - m_uBase);
    // Frames nobody added to are silence.
    Frames(in_uFrame, 0);
    // Measured a stretch at a time and written in larger pieces: the measure runs in the core's
    // cache, and the system's copy into the file, which costs most per call and per page it
    // adds, reads frames that were measured a moment ago.
    const size_t uStretch = std::max<size_t>(1, kMeasureBytes / (sizeof(float) * m_uChannels));
    const size_t uPiece = uStretch * (kWriteBytes / kMeasureBytes);
    for (size_t uDone = 0; uDone < uFrames; uDone += uPiece) {
        const size_t uCount = std::min(uPiece, uFrames - uDone);
        float* pFrames = m_data.data() + uDone * m_uChannels;
        for (size_t uMeasured = 0; uMeasured < uCount; uMeasured += uStretch) {
            Measure(pFrames + uMeasured * m_uChannels, std::min(uStretch, uCount - uMeasured));
        }
        sf_writef_float(m_pFile, pFrames, static_cast<sf_count_t>(uCount));
    }
    m_data.erase(m_data.begin(), m_data.begin() + uFrames * m_uChannels);
    m_uBase = in_uFrame;
}

bool WavTimeline::Close(uint64_t in_uTotalFrames, std::string& out_error) {
    if (m_pFile == nullptr) {
        return true;
    }
    if (in_uTotalFrames > m_uBase) {
        FlushBefore(in_uTotalFrames);
    }
    if (m_uWindowFill > 0) {
        for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
            m_levels[uChannel].push_back(
                static_cast<float>(std::sqrt(m_windowSums[uChannel] / m_uWindowFill)));
        }
        m_uWindowFill = 0;
    }
    const int iError = sf_error(m_pFile);
    sf_close(m_pFile);
    m_pFile = nullptr;
    if (iError != SF_ERR_NO_ERROR) {
        out_error = std::string("writing the WAV file failed: ") + sf_error_number(iError);
        return false;
    }
    return true;
}

}  // namespace scene
