#include "EngineOutputPasses.h"

#include <algorithm>

#include "ZvChannelLayout.h"

namespace scene {

namespace {

// The static object type that plays each speaker of a host layout, where one does.
AudioObjectType SpeakerObjectType(uint32_t in_uSpeaker) {
    switch (in_uSpeaker) {
        case ZV_SPEAKER_FRONT_LEFT:
            return AudioObjectType_FrontLeft;
        case ZV_SPEAKER_FRONT_RIGHT:
            return AudioObjectType_FrontRight;
        case ZV_SPEAKER_FRONT_CENTER:
            return AudioObjectType_FrontCenter;
        case ZV_SPEAKER_LOW_FREQUENCY:
            return AudioObjectType_LowFrequency;
        case ZV_SPEAKER_BACK_LEFT:
            return AudioObjectType_BackLeft;
        case ZV_SPEAKER_BACK_RIGHT:
            return AudioObjectType_BackRight;
        case ZV_SPEAKER_BACK_CENTER:
            return AudioObjectType_BackCenter;
        case ZV_SPEAKER_SIDE_LEFT:
            return AudioObjectType_SideLeft;
        case ZV_SPEAKER_SIDE_RIGHT:
            return AudioObjectType_SideRight;
        case ZV_SPEAKER_TOP_FRONT_LEFT:
            return AudioObjectType_TopFrontLeft;
        case ZV_SPEAKER_TOP_FRONT_RIGHT:
            return AudioObjectType_TopFrontRight;
        case ZV_SPEAKER_TOP_BACK_LEFT:
            return AudioObjectType_TopBackLeft;
        case ZV_SPEAKER_TOP_BACK_RIGHT:
            return AudioObjectType_TopBackRight;
        default:
            return AudioObjectType_None;
    }
}

}  // namespace

EngineOutputPasses::EngineOutputPasses(ZvChannelLayout in_layout, uint32_t in_uBlockFrames)
    : m_uBlockFrames(in_uBlockFrames) {
    uint32_t uIndex = 0;
    for (uint32_t uBit = 0; uBit < 20; ++uBit) {
        const uint32_t uSpeaker = 1u << uBit;
        if ((in_layout.uChannelMask & uSpeaker) == 0) {
            continue;
        }
        const uint32_t uChannel = ZV::MaskOrderToPipelineIndex(in_layout, uIndex++);
        const AudioObjectType eType = SpeakerObjectType(uSpeaker);
        if (eType != AudioObjectType_None && uChannel < in_layout.uNumChannels) {
            m_speakers.push_back(Speaker{eType, uChannel, {}});
        }
    }
}

void EngineOutputPasses::Add(const ZvSampleBuffer& in_buffer, uint32_t in_uFrames) {
    const uint32_t uFrames = std::min<uint32_t>(in_uFrames, in_buffer.uMaxFrames);
    for (Speaker& speaker : m_speakers) {
        const float* pChannel = in_buffer.GetChannel(speaker.uBufferChannel);
        speaker.queued.insert(speaker.queued.end(), pChannel, pChannel + uFrames);
    }
    m_uWaiting += uFrames;
}

bool EngineOutputPasses::Take(standin::Pass& out_block) {
    if (m_uWaiting < m_uBlockFrames) {
        return false;
    }
    out_block = standin::Pass();
    out_block.streamId = kStreamId;
    out_block.index = m_uBlocksTaken++;
    out_block.frames = m_uBlockFrames;
    for (Speaker& speaker : m_speakers) {
        standin::ObjectPass object;
        object.type = speaker.eType;
        object.gotBuffer = true;
        object.samples.assign(speaker.queued.begin(), speaker.queued.begin() + m_uBlockFrames);
        speaker.queued.erase(speaker.queued.begin(), speaker.queued.begin() + m_uBlockFrames);
        out_block.objects.push_back(std::move(object));
    }
    m_uWaiting -= m_uBlockFrames;
    return true;
}

}  // namespace scene
