#include "PassRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <sndfile.h>

#include "FrameDeinterleaver.h"
#include "FrameInterleaver.h"
#include "SampleVectors.h"
#include "ZvVectorClones.h"

namespace scene {

namespace {

constexpr uint32_t kStaticTypeBits = 18;  // AudioObjectType bits 1 to 17
constexpr double kTrajectoryInterval = 0.02;
// How much of each object's samples a block asks the memory for ahead of reading them.
constexpr size_t kPrefetchBytes = 2048;
// The headphone mix sits 6 dB below the speakers' level. The MIT KEMAR responses were measured at
// the eardrum and carry the ear canal's resonance, up to some 15 dB of gain between 2 and 5 kHz
// (more in the nearer ear); at the speakers' level a scene that peaks at -6 dBFS on the 7.1.4
// bed went past full scale in the binaural file.
constexpr float kBinauralGain = 0.5f;

// The 7.1.4 channel map, for the WAVE_FORMAT_EXTENSIBLE speaker mask.
constexpr int kSpeakerMap[kSpeakerChannels] = {
    SF_CHANNEL_MAP_LEFT,           SF_CHANNEL_MAP_RIGHT,
    SF_CHANNEL_MAP_CENTER,         SF_CHANNEL_MAP_LFE,
    SF_CHANNEL_MAP_REAR_LEFT,      SF_CHANNEL_MAP_REAR_RIGHT,
    SF_CHANNEL_MAP_SIDE_LEFT,      SF_CHANNEL_MAP_SIDE_RIGHT,
    SF_CHANNEL_MAP_TOP_FRONT_LEFT, SF_CHANNEL_MAP_TOP_FRONT_RIGHT,
    SF_CHANNEL_MAP_TOP_REAR_LEFT,  SF_CHANNEL_MAP_TOP_REAR_RIGHT,
};

// Whether every sample is zero (a sample that is not a number is heard). Sixteen at a time with an
// exit at the first that are not: a sounding pass mostly shows it at once, a silent one (a bed
// channel nothing plays on) is read to its end.
bool IsSilent(const std::vector<float>& in_samples) {
    const float* pSamples = in_samples.data();
    const size_t uSamples = in_samples.size();
    size_t uSample = 0;
    for (; uSample + 16 <= uSamples; uSample += 16) {
        Floats4 aQuarters[4];
        std::memcpy(aQuarters, pSamples + uSample, sizeof(aQuarters));
        const Ints4 heard = (aQuarters[0] != 0.0f) | (aQuarters[1] != 0.0f) |
                            (aQuarters[2] != 0.0f) | (aQuarters[3] != 0.0f);
        if ((heard[0] | heard[1] | heard[2] | heard[3]) != 0) {
            return false;
        }
    }
    for (; uSample < uSamples; ++uSample) {
        if (pSamples[uSample] != 0.0f) {
            return false;
        }
    }
    return true;
}

// io_pSpeaker[f] += in_pSamples[f] * (in_fFrom + in_fSlope * f): one speaker's share of an
// object whose gain ramps across the block.
ZV_VECTOR_CLONES void AddRamped(float* io_pSpeaker, const float* in_pSamples, int32_t in_iFrames,
                                float in_fFrom, float in_fSlope) {
    for (int32_t iFrame = 0; iFrame < in_iFrames; ++iFrame) {
        io_pSpeaker[iFrame] +=
            in_pSamples[iFrame] * (in_fFrom + in_fSlope * static_cast<float>(iFrame));
    }
}

// io_pSpeaker[f] += in_pSamples[f] * in_fGain.
ZV_VECTOR_CLONES void AddScaled(float* io_pSpeaker, const float* in_pSamples, size_t in_uFrames,
                                float in_fGain) {
    for (size_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        io_pSpeaker[uFrame] += in_pSamples[uFrame] * in_fGain;
    }
}

// io_pSpeaker[f] += in_pSamples[f].
ZV_VECTOR_CLONES void AddInto(float* io_pSpeaker, const float* in_pSamples, size_t in_uFrames) {
    for (size_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        io_pSpeaker[uFrame] += in_pSamples[uFrame];
    }
}

// The block's interleaved frames to one row per speaker (in_uFrames apart), and back, by the
// plug-ins' kernels (transposes in vectors, the same floats as one sample at a time).
void Deinterleave(const float* in_pFrames, size_t in_uFrames, float* out_pRows) {
    float* apRows[kSpeakerChannels];
    for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
        apRows[uChannel] = out_pRows + uChannel * in_uFrames;
    }
    DeinterleaveFrames(in_pFrames, kSpeakerChannels, kSpeakerChannels,
                       static_cast<uint32_t>(in_uFrames), apRows);
}

void Interleave(const float* in_pRows, size_t in_uFrames, float* out_pFrames) {
    const float* apRows[kSpeakerChannels];
    for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
        apRows[uChannel] = in_pRows + uChannel * in_uFrames;
    }
    InterleaveFrames(apRows, kSpeakerChannels, 0, static_cast<uint32_t>(in_uFrames), out_pFrames);
}

int TypeBit(AudioObjectType in_eType) {
    const uint32_t uType = static_cast<uint32_t>(in_eType);
    for (int iBit = 1; iBit < static_cast<int>(kStaticTypeBits); ++iBit) {
        if (uType == (1u << iBit)) {
            return iBit;
        }
    }
    return -1;
}

}  // namespace

bool PassRenderer::Open(const PassRendererConfig& in_config, std::string& out_error) {
    m_config = in_config;
    // Room for the whole set's impulse responses where the FFT allows; see HrtfSet.h.
    const size_t uFftSize = BinauralRenderer::FftSizeFor(in_config.uBlockFrames, 512);
    if (!m_hrtf.Open(in_config.sofaPath, in_config.uSampleRate, uFftSize,
                     uFftSize - in_config.uBlockFrames + 1, out_error)) {
        return false;
    }
    m_pBinaural = std::make_unique<BinauralRenderer>(m_hrtf, uFftSize, in_config.uBlockFrames);
    if (!m_speakers.Open(in_config.speakerPath, kSpeakerChannels, in_config.uSampleRate,
                         kSpeakerMap, in_config.uLevelWindowFrames, out_error) ||
        !m_binaural.Open(in_config.binauralPath, 2, in_config.uSampleRate, nullptr,
                         in_config.uLevelWindowFrames, out_error)) {
        return false;
    }
    m_staticSums.assign(kStaticTypeBits, std::vector<float>(in_config.uBlockFrames, 0.0f));
    m_staticUsed.assign(kStaticTypeBits, false);
    m_speakerRows.assign(size_t{kSpeakerChannels} * in_config.uBlockFrames, 0.0f);
    m_earLeft.resize(uFftSize);
    m_earRight.resize(uFftSize);
    return true;
}

void PassRenderer::AddDynamic(uint64_t in_uFrame, const standin::ObjectPass& in_object,
                              bool in_bSilent, float* io_pSpeakers, size_t in_uFrames) {
    DynamicState& state = m_dynamic[in_object.objectId];
    // An object that has not moved keeps its direction and gains (the same bits in give the same
    // out; compared as bits, so that -0 and NaN positions are worked out afresh).
    const float afPosition[3] = {in_object.x, in_object.y, in_object.z};
    if (!state.bPlaced || std::memcmp(afPosition, state.afPosition, sizeof(afPosition)) != 0) {
        state.placedDirection = DirectionOfPosition(in_object.x, in_object.y, in_object.z);
        state.placedGains =
            m_panner.Gains(state.placedDirection.fAzimuth, state.placedDirection.fElevation);
        std::memcpy(state.afPosition, afPosition, sizeof(afPosition));
        state.bPlaced = true;
    }
    const SpeakerDirection direction = state.placedDirection;
    const SpeakerGains gains = state.placedGains;
    const float fVolume = std::clamp(in_object.volume, 0.0f, 1.0f);
    if (!state.bSeen) {
        state.gains = gains;
        state.direction = direction;
        state.fVolume = fVolume;
        state.bSeen = true;
    }
    if (!in_bSilent) {
        // The speakers that hear the object, each with its gain's start and its step per frame;
        // then the frames in order, which writes each frame's speakers together.
        const float fStep = 1.0f / static_cast<float>(in_uFrames);
        uint32_t aChannels[kSpeakerChannels];
        float aFrom[kSpeakerChannels], aSlope[kSpeakerChannels];
        uint32_t uUsed = 0;
        for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
            const float fFrom = state.gains[uChannel] * state.fVolume;
            const float fTo = gains[uChannel] * fVolume;
            if (fFrom == 0.0f && fTo == 0.0f) {
                continue;
            }
            aChannels[uUsed] = uChannel;
            aFrom[uUsed] = fFrom;
            aSlope[uUsed] = (fTo - fFrom) * fStep;
            ++uUsed;
        }
        // A speaker at a time: each sample still gets one sum, so the order does not matter.
        for (uint32_t uUse = 0; uUse < uUsed; ++uUse) {
            AddRamped(io_pSpeakers + aChannels[uUse] * m_config.uBlockFrames,
                      in_object.samples.data(), static_cast<int32_t>(in_uFrames), aFrom[uUse],
                      aSlope[uUse]);
        }
        m_pBinaural->AddSource(in_object.samples.data(), in_uFrames, state.fVolume, fVolume,
                               {state.direction.fAzimuth, state.direction.fElevation},
                               {direction.fAzimuth, direction.fElevation});
        const double fTime = static_cast<double>(in_uFrame) / m_config.uSampleRate;
        if (state.fLastSampleTime < 0.0 ||
            fTime - state.fLastSampleTime >= kTrajectoryInterval - 1e-9) {
            m_trajectories[in_object.objectId].push_back(
                TrajectorySample{fTime, in_object.x, in_object.y, in_object.z});
            state.fLastSampleTime = fTime;
        }
    }
    state.gains = gains;
    state.direction = direction;
    state.fVolume = fVolume;
}

void PassRenderer::AddPasses(uint64_t in_uFrame, const std::vector<standin::Pass>& in_passes) {
    const size_t uBlock = m_config.uBlockFrames;
    bool bUncleared = false;
    float* pFrames = m_speakers.Frames(in_uFrame, uBlock, &bUncleared);
    if (pFrames == nullptr) {
        return;  // too late to be heard; WavTimeline counts it
    }
    // The passes' samples were written on the render workers' processor: asked for all at once
    // here, their first lines arrive together instead of one object after the other.
    for (const standin::Pass& pass : in_passes) {
        for (const standin::ObjectPass& object : pass.objects) {
            const char* pSamples = reinterpret_cast<const char*>(object.samples.data());
            const size_t uBytes = object.samples.size() * sizeof(float);
            for (size_t uLine = 0; uLine < uBytes && uLine < kPrefetchBytes; uLine += 64) {
                __builtin_prefetch(pSamples + uLine);
            }
        }
    }
    // Mixed a speaker's row at a time, where the adds run in vectors, and interleaved again at
    // the end: every sample gets the same adds in the same order as in place. A block that no
    // pass reached before starts from silence (and the interleave writes all of it).
    float* pSpeakers = m_speakerRows.data();
    if (bUncleared) {
        std::fill(m_speakerRows.begin(), m_speakerRows.end(), 0.0f);
    } else {
        Deinterleave(pFrames, uBlock, pSpeakers);
    }
    m_pBinaural->BeginBlock();
    std::fill(m_staticUsed.begin(), m_staticUsed.end(), false);

    for (const standin::Pass& pass : in_passes) {
        StreamPassStats& stats = m_streams[pass.streamId];
        ++stats.uPasses;
        stats.uMaxObjects =
            std::max<uint32_t>(stats.uMaxObjects, static_cast<uint32_t>(pass.objects.size()));
        if (pass.objects.empty()) {
            ++stats.uEmptyPasses;
        }
        bool bAllSilent = true;
        for (const standin::ObjectPass& object : pass.objects) {
            const size_t uFrames = std::min(object.samples.size(), uBlock);
            const bool bSilent = IsSilent(object.samples);
            bAllSilent = bAllSilent && bSilent;
            if (object.type == AudioObjectType_Dynamic) {
                stats.bDynamic = true;
                AddDynamic(in_uFrame, object, bSilent, pSpeakers, uFrames);
                continue;
            }
            stats.bStatic = true;
            const int iBit = TypeBit(object.type);
            if (iBit < 0) {
                continue;
            }
            std::vector<float>& sum = m_staticSums[iBit];
            if (!m_staticUsed[iBit]) {
                std::fill(sum.begin(), sum.end(), 0.0f);
                m_staticUsed[iBit] = true;
            }
            const float fVolume = std::clamp(object.volume, 0.0f, 1.0f);
            AddScaled(sum.data(), object.samples.data(), uFrames, fVolume);
        }
        if (in_uFrame >= m_config.uSceneFrames) {
            ++stats.uPlayOutPasses;
        } else if (!pass.objects.empty() && bAllSilent) {
            ++stats.uSilentPasses;
        }
    }

    for (uint32_t uBit = 1; uBit < kStaticTypeBits; ++uBit) {
        if (!m_staticUsed[uBit] || IsSilent(m_staticSums[uBit])) {
            continue;
        }
        const AudioObjectType eType = static_cast<AudioObjectType>(1u << uBit);
        const std::vector<float>& sum = m_staticSums[uBit];
        const int iChannel = StaticObjectChannel(eType);
        const SpeakerDirection direction = StaticObjectDirection(eType);
        if (iChannel >= 0) {
            AddInto(pSpeakers + iChannel * uBlock, sum.data(), uBlock);
        } else {
            const SpeakerGains gains = m_panner.Gains(direction.fAzimuth, direction.fElevation);
            for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
                if (gains[uChannel] != 0.0f) {
                    AddScaled(pSpeakers + uChannel * uBlock, sum.data(), uBlock, gains[uChannel]);
                }
            }
        }
        // The low-frequency object is heard from straight ahead on headphones.
        m_pBinaural->AddSource(sum.data(), uBlock, 1.0f, 1.0f,
                               {direction.fAzimuth, direction.fElevation},
                               {direction.fAzimuth, direction.fElevation});
    }

    Interleave(pSpeakers, uBlock, pFrames);

    if (m_pBinaural->EndBlock(m_earLeft.data(), m_earRight.data())) {
        const size_t uFrames = m_earLeft.size();
        float* pEars = m_binaural.Frames(in_uFrame, uFrames);
        if (pEars != nullptr) {
            for (size_t uFrame = 0; uFrame < uFrames; ++uFrame) {
                pEars[2 * uFrame] += kBinauralGain * m_earLeft[uFrame];
                pEars[2 * uFrame + 1] += kBinauralGain * m_earRight[uFrame];
            }
        }
    }

    m_uLatestFrame = std::max(m_uLatestFrame, in_uFrame);
    // Written out a second at a time, so that the part kept for late passes moves seldom.
    if (m_uLatestFrame > m_config.uLateFrames &&
        m_uLatestFrame - m_config.uLateFrames >=
            m_speakers.WrittenFrames() + m_config.uSampleRate) {
        const uint64_t uFinal = m_uLatestFrame - m_config.uLateFrames;
        m_speakers.FlushBefore(uFinal);
        m_binaural.FlushBefore(uFinal);
    }
}

bool PassRenderer::Finish(uint64_t in_uTotalFrames, std::string& out_error) {
    return m_speakers.Close(in_uTotalFrames, out_error) &&
           m_binaural.Close(in_uTotalFrames, out_error);
}

}  // namespace scene
