#include "WavSource.h"

#include <algorithm>
#include <cmath>

#include <samplerate.h>
#include <sndfile.h>

namespace scene {

namespace {

constexpr size_t kChunkFrames = 4096;

}  // namespace

WavSource::~WavSource() {
    if (m_pResampler != nullptr) {
        src_delete(m_pResampler);
    }
    if (m_pFile != nullptr) {
        sf_close(m_pFile);
    }
}

bool WavSource::Open(const std::string& in_path, uint32_t in_uChannels, uint32_t in_uSampleRate,
                     std::string& out_error) {
    m_path = in_path;
    SF_INFO info = {};
    m_pFile = sf_open(in_path.c_str(), SFM_READ, &info);
    if (m_pFile == nullptr) {
        out_error = "cannot read " + in_path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.frames <= 0 || info.samplerate <= 0) {
        out_error = in_path + " holds no samples";
        return false;
    }
    m_uChannels = in_uChannels;
    m_uFileChannels = static_cast<uint32_t>(info.channels);
    m_uFileRate = static_cast<uint32_t>(info.samplerate);
    m_uRate = in_uSampleRate;
    m_uFrames =
        static_cast<uint64_t>(std::floor(static_cast<double>(info.frames) * m_uRate / m_uFileRate));
    if (m_uFileRate != m_uRate) {
        int iError = 0;
        m_pResampler = src_new(SRC_SINC_BEST_QUALITY, static_cast<int>(m_uChannels), &iError);
        if (m_pResampler == nullptr) {
            out_error = "cannot resample " + in_path + ": " + src_strerror(iError);
            return false;
        }
    }
    m_fileChunk.resize(kChunkFrames * m_uFileChannels);
    return true;
}

std::string WavSource::Describe() const {
    const size_t uSlash = m_path.find_last_of('/');
    std::string text = (uSlash == std::string::npos ? m_path : m_path.substr(uSlash + 1)) + ": " +
                       std::to_string(m_uFileRate) + " Hz, " + std::to_string(m_uFileChannels) +
                       (m_uFileChannels == 1 ? " channel" : " channels") + "; ";
    if (m_uFileChannels == 1 && m_uChannels == 2) {
        text += "its one channel plays on both of the voice's";
    } else if (m_uChannels == 1) {
        text += "plays channel 1";
    } else {
        text += "plays channels 1-2";
    }
    if (m_uFileChannels > m_uChannels) {
        text += " (channels " + std::to_string(m_uChannels + 1) + "-" +
                std::to_string(m_uFileChannels) + " are not played)";
    }
    if (m_pResampler != nullptr) {
        text += ", resampled to " + std::to_string(m_uRate) + " Hz";
    }
    return text;
}

void WavSource::Rewind() {
    sf_seek(m_pFile, 0, SEEK_SET);
    if (m_pResampler != nullptr) {
        src_reset(m_pResampler);
    }
    m_input.clear();
    m_uInputUsed = 0;
    m_bInputEnded = false;
    m_bDone = false;
    m_output.clear();
    m_uOutputStart = 0;
    m_uOutputBase = 0;
}

// Appends the next chunk of the file, as the voice's channels, to m_input; the frames read.
size_t WavSource::ReadFile() {
    const sf_count_t iRead =
        sf_readf_float(m_pFile, m_fileChunk.data(), static_cast<sf_count_t>(kChunkFrames));
    const size_t uRead = iRead > 0 ? static_cast<size_t>(iRead) : 0;
    if (uRead < kChunkFrames) {
        m_bInputEnded = true;
    }
    m_uFileFramesRead += uRead;
    m_input.erase(m_input.begin(), m_input.begin() + m_uInputUsed * m_uChannels);
    m_uInputUsed = 0;
    const size_t uOld = m_input.size();
    m_input.resize(uOld + uRead * m_uChannels);
    for (size_t uFrame = 0; uFrame < uRead; ++uFrame) {
        for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
            const uint32_t uFrom = std::min(uChannel, m_uFileChannels - 1);
            m_input[uOld + uFrame * m_uChannels + uChannel] =
                m_fileChunk[uFrame * m_uFileChannels + uFrom];
        }
    }
    return uRead;
}

void WavSource::Fill(uint64_t in_uEnd) {
    std::vector<float>& block = m_block;
    block.resize(kChunkFrames * m_uChannels);
    while (!m_bDone && m_uOutputBase + m_output.size() / m_uChannels < in_uEnd) {
        if (m_uInputUsed * m_uChannels >= m_input.size() && !m_bInputEnded) {
            ReadFile();
        }
        const size_t uInputFrames = m_input.size() / m_uChannels - m_uInputUsed;
        if (m_pResampler == nullptr) {
            m_output.insert(m_output.end(), m_input.begin() + m_uInputUsed * m_uChannels,
                            m_input.end());
            m_uInputUsed += uInputFrames;
            m_bDone = m_bInputEnded;
            continue;
        }
        SRC_DATA data = {};
        data.data_in = m_input.data() + m_uInputUsed * m_uChannels;
        data.input_frames = static_cast<long>(uInputFrames);
        data.data_out = block.data();
        data.output_frames = static_cast<long>(kChunkFrames);
        data.end_of_input = m_bInputEnded ? 1 : 0;
        data.src_ratio = static_cast<double>(m_uRate) / m_uFileRate;
        if (src_process(m_pResampler, &data) != 0) {
            m_bDone = true;
            break;
        }
        m_uInputUsed += static_cast<size_t>(data.input_frames_used);
        m_output.insert(m_output.end(), block.begin(),
                        block.begin() + data.output_frames_gen * m_uChannels);
        if (m_bInputEnded && data.input_frames_used == 0 && data.output_frames_gen == 0) {
            m_bDone = true;
        }
    }
}

void WavSource::Read(uint64_t in_uOffset, uint32_t in_uFrames, float* const* out_ppChannels) {
    if (in_uOffset < m_uOutputBase + m_uOutputStart) {
        Rewind();
    }
    // What lies before this read is no longer needed; the buffer is compacted once that part
    // outweighs the rest.
    const uint64_t uHeld = m_uOutputBase + m_output.size() / m_uChannels;
    m_uOutputStart = static_cast<size_t>(std::min(in_uOffset, uHeld) - m_uOutputBase);
    if (m_uOutputStart > kChunkFrames && 2 * m_uOutputStart * m_uChannels > m_output.size()) {
        m_output.erase(m_output.begin(), m_output.begin() + m_uOutputStart * m_uChannels);
        m_uOutputBase += m_uOutputStart;
        m_uOutputStart = 0;
    }
    Fill(std::min(in_uOffset + in_uFrames, m_uFrames));
    const uint64_t uAvailable = m_uOutputBase + m_output.size() / m_uChannels;
    for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        const uint64_t uAt = in_uOffset + uFrame;
        const bool bHeld = uAt < uAvailable && uAt < m_uFrames;
        const size_t uIndex = bHeld ? static_cast<size_t>(uAt - m_uOutputBase) * m_uChannels : 0;
        for (uint32_t uChannel = 0; uChannel < m_uChannels; ++uChannel) {
            out_ppChannels[uChannel][uFrame] = bHeld ? m_output[uIndex + uChannel] : 0.0f;
        }
    }
}

}  // namespace scene
