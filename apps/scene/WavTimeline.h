// A multichannel output that is mixed into by position and written to a 32-bit float WAV file
// through libsndfile as it is finished: callers add into any frame at or after the written part;
// FlushBefore writes out everything before a frame. While writing, it measures each channel's
// level (RMS) over windows of fixed length, for the picture and the report, and counts the
// samples beyond full scale. A sample that is not a finite number never reaches the file: it is
// written as silence and counted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "UninitializedAllocator.h"

struct sf_private_tag;

namespace scene {

class WavTimeline {
public:
    WavTimeline() = default;
    ~WavTimeline();
    WavTimeline(const WavTimeline&) = delete;
    WavTimeline& operator=(const WavTimeline&) = delete;

    // Creates in_path. in_pChannelMap (may be null) holds libsndfile channel-map values, one per
    // channel, which WAVE_FORMAT_EXTENSIBLE files carry as their speaker mask.
    bool Open(const std::string& in_path, uint32_t in_uChannels, uint32_t in_uSampleRate,
              const int* in_pChannelMap, uint32_t in_uLevelWindowFrames, std::string& out_error);

    // Interleaved storage of [in_uFrame, in_uFrame + in_uFrames) to add into, or null when that
    // range starts before the part already written (it came too late and is dropped). Frames
    // never handed out before hold silence; but where out_pUncleared is given and the whole
    // range is new, it is left as it is and *out_pUncleared set: the caller then writes every
    // sample of it (sparing a clear of memory about to be overwritten).
    float* Frames(uint64_t in_uFrame, size_t in_uFrames, bool* out_pUncleared = nullptr);

    // Writes every frame before in_uFrame (silence where nothing was added).
    void FlushBefore(uint64_t in_uFrame);
    // Writes the rest up to in_uTotalFrames and closes the file; frames beyond it are cut.
    bool Close(uint64_t in_uTotalFrames, std::string& out_error);

    uint32_t Channels() const { return m_uChannels; }
    uint64_t WrittenFrames() const { return m_uBase; }
    uint64_t LateAdds() const { return m_uLateAdds; }
    uint32_t LevelWindowFrames() const { return m_uWindow; }
    // RMS of each finished window, per channel: Levels()[channel][window].
    const std::vector<std::vector<float>>& Levels() const { return m_levels; }
    // Largest absolute sample written, per channel.
    const std::vector<float>& Peaks() const { return m_peaks; }
    // Per channel: samples that were not finite (written as 0), and samples beyond full scale
    // (magnitude above 1), which clip wherever the file is played or converted to integers.
    const std::vector<uint64_t>& NonFiniteSamples() const { return m_nonFinite; }
    const std::vector<uint64_t>& ClippedSamples() const { return m_clipped; }

private:
    void Measure(float* io_pFrames, size_t in_uFrames);

    sf_private_tag* m_pFile = nullptr;
    uint32_t m_uChannels = 0;
    uint64_t m_uBase = 0;  // first frame not yet written
    // Interleaved frames from m_uBase on.
    std::vector<float, UninitializedAllocator<float>> m_data;
    uint64_t m_uLateAdds = 0;
    uint32_t m_uWindow = 4800;
    uint32_t m_uWindowFill = 0;
    std::vector<double> m_windowSums;
    std::vector<std::vector<float>> m_levels;
    std::vector<float> m_peaks;
    std::vector<uint64_t> m_nonFinite;
    std::vector<uint64_t> m_clipped;
};

}  // namespace scene
