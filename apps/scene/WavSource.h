// A WAV file as a voice's source: read through libsndfile a chunk at a time as the voice plays
// (a long file in a short scene costs what plays, not the whole file) and resampled to the
// scene's rate by libsamplerate's best sinc converter, whose filters keep images and aliases
// some 140 dB down. A file at the scene's rate is copied as it is.
//
// Channels: the voice's channel k plays the file's channel k; a mono file plays on both of a
// stereo voice's channels, and a file's channels beyond the voice's are not played (Describe says
// which are).
//
// Reads go forward: a read before the last one starts the file again from its beginning.
// Used on one thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;
struct SRC_STATE_tag;

namespace scene {

class WavSource {
public:
    WavSource() = default;
    ~WavSource();
    WavSource(const WavSource&) = delete;
    WavSource& operator=(const WavSource&) = delete;

    // Opens in_path for a voice of in_uChannels at in_uSampleRate. False with out_error (the
    // reason in words) when the file cannot be read as sound.
    bool Open(const std::string& in_path, uint32_t in_uChannels, uint32_t in_uSampleRate,
              std::string& out_error);

    // The file's length at the scene's rate, in frames.
    uint64_t Frames() const { return m_uFrames; }
    uint32_t FileRate() const { return m_uFileRate; }
    uint32_t FileChannels() const { return m_uFileChannels; }
    // Frames read from the file so far.
    uint64_t FileFramesRead() const { return m_uFileFramesRead; }
    // "music.wav: 96000 Hz, 8 channels; plays channels 1-2, resampled to 48000 Hz".
    std::string Describe() const;

    // Writes in_uFrames frames from in_uOffset (frames at the scene's rate from the file's start)
    // to out_ppChannels[channel]; silence beyond the file's end.
    void Read(uint64_t in_uOffset, uint32_t in_uFrames, float* const* out_ppChannels);

private:
    void Rewind();
    // Resamples until the buffer reaches in_uEnd or the file is done.
    void Fill(uint64_t in_uEnd);
    size_t ReadFile();

    std::string m_path;
    sf_private_tag* m_pFile = nullptr;
    SRC_STATE_tag* m_pResampler = nullptr;
    uint32_t m_uChannels = 1;
    uint32_t m_uFileChannels = 1;
    uint32_t m_uFileRate = 48000;
    uint32_t m_uRate = 48000;
    uint64_t m_uFrames = 0;
    uint64_t m_uFileFramesRead = 0;
    std::vector<float> m_fileChunk;  // interleaved as in the file
    std::vector<float> m_block;      // one call's output of the resampler
    std::vector<float> m_input;      // the voice's channels, interleaved, not yet resampled
    size_t m_uInputUsed = 0;
    bool m_bInputEnded = false;
    bool m_bDone = false;
    std::vector<float> m_output;  // resampled, interleaved, from frame m_uOutputBase on
    size_t m_uOutputStart = 0;    // frames of m_output already passed
    uint64_t m_uOutputBase = 0;
};

}  // namespace scene
