// The tones a run plays, one after another: a lead-in of silence, then each tone for a fixed time
// followed by a gap of silence. Each tone has a source (what the scenario plays it on: a speaker
// of the host's layout, a voice of a mixer bus), the channel of the 12-channel output device it
// must arrive on, a frequency and an amplitude. The schedule is written out as the expectations
// that tonecheck holds a recording against.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace spatialhost {

constexpr uint32_t kSampleRate = 48000;

struct Tone {
    uint32_t uSource;
    uint32_t uChannel;  // channel of the output device that must carry it
    float fFrequency;   // Hz
    float fAmplitude;   // peak, linear
};

class ToneSchedule {
public:
    ToneSchedule(uint32_t in_uLeadInFrames, uint32_t in_uToneFrames, uint32_t in_uGapFrames)
        : m_uLeadInFrames(in_uLeadInFrames),
          m_uToneFrames(in_uToneFrames),
          m_uGapFrames(in_uGapFrames) {}

    void Add(const Tone& in_tone) { m_tones.push_back(in_tone); }
    const std::vector<Tone>& Tones() const { return m_tones; }

    // Frames from the start of the run to the end of the last gap.
    uint64_t TotalFrames() const;
    // The sample that in_uSource plays at in_uFrame of the run (0 when it is silent then).
    float Sample(uint32_t in_uSource, uint64_t in_uFrame) const;

    // One line per tone: "channel frequency amplitude start_ms duration_ms".
    void WriteExpectations(std::FILE* out_pFile) const;

private:
    uint32_t m_uLeadInFrames;
    uint32_t m_uToneFrames;
    uint32_t m_uGapFrames;
    std::vector<Tone> m_tones;
};

}  // namespace spatialhost
