// How a host engine paces a mixer bus, as plain parameters, and the output that paces it: the
// host runs its frames when its output (the sink) asks for buffers, so it renders in bursts of
// several buffers after a long renderer period and one or none after a short one. Nothing here
// is the mixer's own: it can serve every plug-in's pacing tests.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <algorithm>
#include <vector>

namespace mixer_tests {

// One pacing of the matrix.
struct Pacing {
    uint32_t uHostFrames = 480;  // frames per host buffer
    uint32_t uPeriod = 480;      // frames per renderer pass
    // Every in_uLateEvery-th pass the host wakes late: the last buffer of its fill comes after
    // the pass, when the output can spare it (0: never late).
    uint32_t uLateEvery = 0;
};

// The host's output as the sink documents its ring: whole host buffers, at least a period and a
// buffer (or in_uBufferCount buffers, if more); the host writes one more buffer while strictly
// more than one is free, and each pass takes a period (or nothing, if it holds less).
class OutputPacer {
public:
    explicit OutputPacer(const Pacing& in_pacing, uint32_t in_uBufferCount = 2)
        : m_pacing(in_pacing) {
        const uint32_t uHost = in_pacing.uHostFrames;
        uint32_t uBuffers = (in_pacing.uPeriod + 2 * uHost - 1) / uHost;
        uBuffers = uBuffers > in_uBufferCount ? uBuffers : in_uBufferCount;
        m_uCapacity = uBuffers * uHost;
    }

    // The host buffers the output asks for now.
    uint32_t BuffersWanted() const {
        uint32_t uBuffers = 0;
        while (m_uCapacity - (m_uHeld + uBuffers * m_pacing.uHostFrames) > m_pacing.uHostFrames) {
            ++uBuffers;
        }
        return uBuffers;
    }
    void Wrote(uint32_t in_uBuffers) { m_uHeld += in_uBuffers * m_pacing.uHostFrames; }

    // Stepped pacing: the host buffers to run before the next pass, a burst as the output asks
    // for them (less the last one, when late).
    uint32_t BuffersBeforePass() {
        uint32_t uBuffers = BuffersWanted();
        ++m_uPasses;
        if (m_pacing.uLateEvery != 0 && m_uPasses % m_pacing.uLateEvery == 0 && uBuffers != 0 &&
            m_uHeld + (uBuffers - 1) * m_pacing.uHostFrames >= m_pacing.uPeriod) {
            --uBuffers;
        }
        Wrote(uBuffers);
        return uBuffers;
    }
    // The pass takes its period.
    void Pass() { m_uHeld -= m_uHeld >= m_pacing.uPeriod ? m_pacing.uPeriod : 0; }
    uint32_t Capacity() const { return m_uCapacity; }

private:
    Pacing m_pacing;
    uint32_t m_uCapacity = 0;
    uint32_t m_uHeld = 0;
    uint64_t m_uPasses = 0;
};

// A voice of a paced run: its value (every sample of it; no two voices alike) and the host frames
// it plays, [uFirstFrame, uEndFrame).
struct PacedVoice {
    float fValue = 0.0f;
    uint64_t uFirstFrame = 0;
    uint64_t uEndFrame = 0;
    // The renderer's clock (frames since the stream's first pass) when the host ran each of its
    // frames; the longest it may take a frame from there to be heard.
    std::vector<uint64_t> renderedAt;
    uint64_t uDelayLimit = 0;
    uint64_t uLongestDelay = 0;
    // What the passes carried of it: output positions (frames since the stream's first pass).
    uint64_t uHeard = 0;
    uint64_t uFirstHeard = 0;
    uint64_t uLastHeard = 0;
};

// Finds the voices' samples in what the renderer played.
class VoiceLedger {
public:
    std::vector<PacedVoice>& Voices() { return m_voices; }

    // The host is about to run frame in_uFrame of in_uHostFrames while the renderer's clock is at
    // in_uClock; the frame of a voice must be heard within in_uDelay frames of that.
    void Rendering(uint64_t in_uFrame, uint32_t in_uHostFrames, uint64_t in_uClock,
                   uint64_t in_uDelay) {
        m_uHostFrames = in_uHostFrames;
        for (PacedVoice& voice : m_voices) {
            if (Plays(voice, in_uFrame)) {
                voice.renderedAt.push_back(in_uClock);
                voice.uDelayLimit = in_uDelay;
            }
        }
    }
    static bool Plays(const PacedVoice& in_voice, uint64_t in_uFrame) {
        return in_uFrame >= in_voice.uFirstFrame && in_uFrame < in_voice.uEndFrame;
    }

    // An object's samples of a pass whose first frame is at output position in_uPosition.
    void Hear(const std::vector<float>& in_samples, uint64_t in_uPosition) {
        for (size_t i = 0; i < in_samples.size(); ++i) {
            if (in_samples[i] == 0.0f) {
                continue;
            }
            PacedVoice* pVoice = nullptr;
            for (PacedVoice& voice : m_voices) {
                pVoice = voice.fValue == in_samples[i] ? &voice : pVoice;
            }
            if (pVoice == nullptr) {
                ++m_uForeign;
                continue;
            }
            if (pVoice->uHeard == 0) {
                pVoice->uFirstHeard = in_uPosition + i;
            }
            // The first sample of each of its host buffers: how long after it was rendered.
            const uint64_t uBuffer = pVoice->uHeard / m_uHostFrames;
            if (pVoice->uHeard % m_uHostFrames == 0 && uBuffer < pVoice->renderedAt.size()) {
                const uint64_t uRendered = pVoice->renderedAt[uBuffer];
                EXPECT_LE(uRendered, in_uPosition + i) << "heard before it was rendered";
                const uint64_t uDelay = in_uPosition + i - uRendered;
                pVoice->uLongestDelay = std::max(pVoice->uLongestDelay, uDelay);
            }
            pVoice->uLastHeard = in_uPosition + i;
            ++pVoice->uHeard;
        }
    }

    // Every frame of every voice heard once, in one stretch without a gap, each of its host
    // buffers soon enough (Rendering). Returns the longest delay (frames of the renderer's clock).
    uint64_t ExpectHeardWhole(uint32_t in_uHostFrames) const {
        EXPECT_EQ(0u, m_uForeign) << "samples of no voice";
        uint64_t uLatest = 0;
        for (const PacedVoice& voice : m_voices) {
            const uint64_t uFrames = (voice.uEndFrame - voice.uFirstFrame) * in_uHostFrames;
            EXPECT_EQ(uFrames, voice.uHeard) << "voice " << voice.fValue;
            EXPECT_EQ(voice.uHeard, voice.uLastHeard + 1 - voice.uFirstHeard)
                << "a gap in voice " << voice.fValue;
            EXPECT_LE(voice.uLongestDelay, voice.uDelayLimit) << "voice " << voice.fValue;
            uLatest = std::max(uLatest, voice.uLongestDelay);
        }
        return uLatest;
    }

private:
    std::vector<PacedVoice> m_voices;
    uint32_t m_uHostFrames = 1;
    uint64_t m_uForeign = 0;
};

}  // namespace mixer_tests
