#include "HostSpeakerPanner.h"

#include <algorithm>
#include <cmath>

namespace host {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kMaxSpeakers = 20;  // bits of uChannelMask

struct SpeakerDirection {
    uint32_t uBit;
    double fAzimuth;
    bool bEarLevel;
};

constexpr SpeakerDirection kDirections[] = {
    {ZV_SPEAKER_FRONT_LEFT, -30.0, true},      {ZV_SPEAKER_FRONT_RIGHT, 30.0, true},
    {ZV_SPEAKER_FRONT_CENTER, 0.0, true},      {ZV_SPEAKER_SIDE_LEFT, -90.0, true},
    {ZV_SPEAKER_SIDE_RIGHT, 90.0, true},       {ZV_SPEAKER_BACK_LEFT, -135.0, true},
    {ZV_SPEAKER_BACK_RIGHT, 135.0, true},      {ZV_SPEAKER_BACK_CENTER, 180.0, true},
    {ZV_SPEAKER_TOP_FRONT_LEFT, -30.0, false}, {ZV_SPEAKER_TOP_FRONT_RIGHT, 30.0, false},
    {ZV_SPEAKER_TOP_BACK_LEFT, -135.0, false}, {ZV_SPEAKER_TOP_BACK_RIGHT, 135.0, false},
};

SpeakerDirection DirectionOf(uint32_t in_uBit) {
    for (const SpeakerDirection& direction : kDirections) {
        if (direction.uBit == in_uBit) {
            return direction;
        }
    }
    return SpeakerDirection{in_uBit, 0.0, false};
}

bool IsStandard(ZvChannelLayout in_layout) {
    return in_layout.eConfigType == ZV_ChannelConfigType_Standard && in_layout.uChannelMask != 0 &&
           ZV::GetNumNonZeroBits(in_layout.uChannelMask) == in_layout.uNumChannels;
}

double Wrap360(double in_fDegrees) {
    const double fWrapped = std::fmod(in_fDegrees, 360.0);
    return fWrapped < 0.0 ? fWrapped + 360.0 : fWrapped;
}

struct OutputSpeaker {
    double fAzimuth;  // 0 to 360
    uint32_t uColumn;
};

// The ear-level speakers of a standard output layout, sorted by azimuth, and its low-frequency
// column (or none).
struct OutputSpeakers {
    OutputSpeaker aSpeakers[kMaxSpeakers];
    uint32_t uCount = 0;
    bool bHasLfe = false;
    uint32_t uLfeColumn = 0;
};

OutputSpeakers CollectOutputSpeakers(ZvChannelLayout in_outputConfig) {
    OutputSpeakers speakers;
    uint32_t uMaskIndex = 0;
    for (uint32_t uBitIndex = 0; uBitIndex < kMaxSpeakers; ++uBitIndex) {
        const uint32_t uBit = 1u << uBitIndex;
        if ((in_outputConfig.uChannelMask & uBit) == 0) {
            continue;
        }
        const uint32_t uColumn = ZV::MaskOrderToPipelineIndex(in_outputConfig, uMaskIndex++);
        if (uBit == ZV_SPEAKER_LOW_FREQUENCY) {
            speakers.bHasLfe = true;
            speakers.uLfeColumn = uColumn;
            continue;
        }
        const SpeakerDirection direction = DirectionOf(uBit);
        if (direction.bEarLevel) {
            speakers.aSpeakers[speakers.uCount++] =
                OutputSpeaker{Wrap360(direction.fAzimuth), uColumn};
        }
    }
    std::sort(speakers.aSpeakers, speakers.aSpeakers + speakers.uCount,
              [](const OutputSpeaker& in_a, const OutputSpeaker& in_b) {
                  return in_a.fAzimuth < in_b.fAzimuth;
              });
    return speakers;
}

// Writes the constant-power gains of one channel at in_fAzimuth into in_pRow.
void PanChannel(const OutputSpeakers& in_speakers, double in_fAzimuth, float* in_pRow) {
    if (in_speakers.uCount == 0) {
        return;
    }
    if (in_speakers.uCount == 1) {
        in_pRow[in_speakers.aSpeakers[0].uColumn] = 1.0f;
        return;
    }
    const double fAzimuth = Wrap360(in_fAzimuth);
    for (uint32_t uIndex = 0; uIndex < in_speakers.uCount; ++uIndex) {
        const OutputSpeaker& from = in_speakers.aSpeakers[uIndex];
        const OutputSpeaker& to = in_speakers.aSpeakers[(uIndex + 1) % in_speakers.uCount];
        const double fWidth = Wrap360(to.fAzimuth - from.fAzimuth);
        const double fOffset = Wrap360(fAzimuth - from.fAzimuth);
        if (fOffset < fWidth) {
            const double fAngle = fOffset / fWidth * kPi / 2.0;
            in_pRow[from.uColumn] = static_cast<float>(std::cos(fAngle));
            in_pRow[to.uColumn] = static_cast<float>(std::sin(fAngle));
            return;
        }
    }
}

}  // namespace

void ComputePanningMatrix(ZvChannelLayout in_inputConfig, ZvChannelLayout in_outputConfig,
                          float in_fAzimuthDegrees, ZV::SpeakerVolumeMatrix& io_matrix) {
    const uint32_t uInputs = io_matrix.uNumInputs;
    const uint32_t uOutputs = io_matrix.uNumOutputs;
    const uint32_t uStride = ZV::SpeakerVolumeRowStride(uOutputs);
    std::fill(io_matrix.pVolumes, io_matrix.pVolumes + static_cast<size_t>(uInputs) * uStride,
              0.0f);

    if (!IsStandard(in_outputConfig)) {
        for (uint32_t uChannel = 0; uChannel < std::min(uInputs, uOutputs); ++uChannel) {
            io_matrix.pVolumes[uChannel * uStride + uChannel] = 1.0f;
        }
        return;
    }

    const OutputSpeakers speakers = CollectOutputSpeakers(in_outputConfig);
    if (!IsStandard(in_inputConfig)) {
        for (uint32_t uChannel = 0; uChannel < uInputs; ++uChannel) {
            const double fOffset = (uChannel - (uInputs - 1) / 2.0) * 60.0;
            PanChannel(speakers, in_fAzimuthDegrees + fOffset,
                       io_matrix.pVolumes + uChannel * uStride);
        }
        return;
    }

    uint32_t uMaskIndex = 0;
    for (uint32_t uBitIndex = 0; uBitIndex < kMaxSpeakers; ++uBitIndex) {
        const uint32_t uBit = 1u << uBitIndex;
        if ((in_inputConfig.uChannelMask & uBit) == 0) {
            continue;
        }
        const uint32_t uRow = ZV::MaskOrderToPipelineIndex(in_inputConfig, uMaskIndex++);
        float* pRow = io_matrix.pVolumes + uRow * uStride;
        if (uBit == ZV_SPEAKER_LOW_FREQUENCY) {
            if (speakers.bHasLfe) {
                pRow[speakers.uLfeColumn] = 1.0f;
            }
            continue;
        }
        PanChannel(speakers, in_fAzimuthDegrees + DirectionOf(uBit).fAzimuth, pRow);
    }
}

}  // namespace host
