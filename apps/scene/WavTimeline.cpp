#include "WavTimeline.h"

#include <algorithm>
#include <cmath>

#include <sndfile.h>

namespace scene {

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
    m_uWindow = std::max<uint32_t>(1, in_uLevelWindowFrames);
    m_windowSums.assign(in_uChannels, 0.0);
    m_levels.assign(in_uChannels, std::vector<float>());
    m_peaks.assign(in_uChannels, 0.0f);
    m_nonFinite.assign(in_uChannels, 0);
    m_clipped.assign(in_uChannels, 0);
    return true;
}

float* WavTimeline::Frames(uint64_t in_uFrame, size_t in_uFrames) {
    if (in_uFrame < m_uBase) {
        ++m_uLateAdds;
        return nullptr;
    }
    const size_t uEnd = static_cast<size_t>(in_uFrame - m_uBase + in_uFrames) * m_uChannels;
    if (m_data.size() < uEnd) {
        m_data.resize(uEnd, 0.0f);
    }
    return m_data.data() + static_cast<size_t>(in_uFrame - m_uBase) * m_uChannels;
}

void WavTimeline::Measure(float* io_pFrames, size_t in_uFrames) {
    for (size_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        float* pFrame = io_pFrames + uFrame * m_uChannels;
        for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
            if (!std::isfinite(pFrame[uChannel])) {
                pFrame[uChannel] = 0.0f;
                ++m_nonFinite[uChannel];
            } else if (std::fabs(pFrame[uChannel]) > 1.0f) {
                ++m_clipped[uChannel];
            }
            const float fSample = pFrame[uChannel];
            m_windowSums[uChannel] += static_cast<double>(fSample) * fSample;
            m_peaks[uChannel] = std::max(m_peaks[uChannel], std::fabs(fSample));
        }
        if (++m_uWindowFill == m_uWindow) {
            for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
                m_levels[uChannel].push_back(
                    static_cast<float>(std::sqrt(m_windowSums[uChannel] / m_uWindow)));
                m_windowSums[uChannel] = 0.0;
            }
            m_uWindowFill = 0;
        }
    }
}

void WavTimeline::FlushBefore(uint64_t in_uFrame) {
    if (m_pFile == nullptr || in_uFrame <= m_uBase) {
        return;
    }
    const size_t uFrames = static_cast<size_t>(in_uFrame - m_uBase);
    // Frames nobody added to are silence.
    Frames(in_uFrame, 0);
    Measure(m_data.data(), uFrames);
    sf_writef_float(m_pFile, m_data.data(), static_cast<sf_count_t>(uFrames));
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
