#include "SpeakerLayout.h"

#include <cmath>

namespace scene {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

struct SpeakerEntry {
    const char* pszName;
    AudioObjectType eType;
    SpeakerDirection direction;
};

constexpr SpeakerEntry kSpeakers[kSpeakerChannels] = {
    {"FL", AudioObjectType_FrontLeft, {-30.0, 0.0}},
    {"FR", AudioObjectType_FrontRight, {30.0, 0.0}},
    {"FC", AudioObjectType_FrontCenter, {0.0, 0.0}},
    {"LFE", AudioObjectType_LowFrequency, {0.0, 0.0}},
    {"BL", AudioObjectType_BackLeft, {-135.0, 0.0}},
    {"BR", AudioObjectType_BackRight, {135.0, 0.0}},
    {"SL", AudioObjectType_SideLeft, {-90.0, 0.0}},
    {"SR", AudioObjectType_SideRight, {90.0, 0.0}},
    {"TFL", AudioObjectType_TopFrontLeft, {-30.0, 45.0}},
    {"TFR", AudioObjectType_TopFrontRight, {30.0, 45.0}},
    {"TBL", AudioObjectType_TopBackLeft, {-135.0, 45.0}},
    {"TBR", AudioObjectType_TopBackRight, {135.0, 45.0}},
};

}  // namespace

SpeakerDirection SpeakerDirectionOf(uint32_t in_uChannel) {
    return in_uChannel < kSpeakerChannels ? kSpeakers[in_uChannel].direction
                                          : SpeakerDirection{0.0, 0.0};
}

const char* SpeakerName(uint32_t in_uChannel) {
    return in_uChannel < kSpeakerChannels ? kSpeakers[in_uChannel].pszName : "?";
}

int StaticObjectChannel(AudioObjectType in_eType) {
    for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
        if (kSpeakers[uChannel].eType == in_eType) {
            return static_cast<int>(uChannel);
        }
    }
    return -1;
}

SpeakerDirection StaticObjectDirection(AudioObjectType in_eType) {
    const int iChannel = StaticObjectChannel(in_eType);
    if (iChannel >= 0) {
        return kSpeakers[iChannel].direction;
    }
    switch (in_eType) {
        case AudioObjectType_BackCenter:
            return {180.0, 0.0};
        case AudioObjectType_BottomFrontLeft:
            return {-30.0, -45.0};
        case AudioObjectType_BottomFrontRight:
            return {30.0, -45.0};
        case AudioObjectType_BottomBackLeft:
            return {-135.0, -45.0};
        case AudioObjectType_BottomBackRight:
            return {135.0, -45.0};
        default:
            return {0.0, 0.0};
    }
}

SpeakerDirection DirectionOfPosition(float in_fX, float in_fY, float in_fZ) {
    const double fHorizontal = std::sqrt(double(in_fX) * in_fX + double(in_fZ) * in_fZ);
    if (fHorizontal == 0.0 && in_fY == 0.0f) {
        return {0.0, 0.0};
    }
    // Ahead is -z, right is +x.
    const double fAzimuth = std::atan2(double(in_fX), -double(in_fZ)) * kDegreesPerRadian;
    const double fElevation = std::atan2(double(in_fY), fHorizontal) * kDegreesPerRadian;
    return {fAzimuth, fElevation};
}

}  // namespace scene
