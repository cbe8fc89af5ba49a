#include "HostMixerInputContext.h"

#include <cstdio>

#include "HostSpeakerPanner.h"

namespace host {

namespace {

constexpr float kDegreesPerRadian = 57.29577951308232f;

bool MatrixFits(const ZV::SpeakerVolumeMatrix& in_matrix, ZvChannelLayout in_inputConfig,
                ZvChannelLayout in_outputConfig) {
    return in_matrix.pVolumes != nullptr && in_matrix.uNumInputs == in_inputConfig.uNumChannels &&
           in_matrix.uNumOutputs == in_outputConfig.uNumChannels;
}

}  // namespace

HostMixerInputContext::HostMixerInputContext(uint32_t in_uInputId) : m_uInputId(in_uInputId) {}

void HostMixerInputContext::SetRays(std::initializer_list<HostRay> in_rays) {
    m_uRayCount = 0;
    for (const HostRay& ray : in_rays) {
        if (m_uRayCount == kMaxRays) {
            m_log.Record("SetRays: more rays than the context holds");
            break;
        }
        m_aRays[m_uRayCount++] = ray;
    }
}

ZvResult HostMixerInputContext::Get3DPosition(uint32_t in_uIndex, ZV::ZvEmitterRay& out_ray) const {
    ++m_uGet3DPositionCalls;
    m_lastRayReceived = out_ray;
    if (m_bFailGet3DPosition) {
        return ZV_Failure;
    }
    if (in_uIndex >= m_uRayCount) {
        char szMessage[80];
        std::snprintf(szMessage, sizeof(szMessage), "Get3DPosition: ray %u of %u", in_uIndex,
                      m_uRayCount);
        m_log.Record(szMessage);
        return ZV_Failure;
    }
    out_ray.fDistance = m_aRays[in_uIndex].fDistance;
    out_ray.fAzimuth = m_aRays[in_uIndex].fAzimuth;
    out_ray.fElevation = m_aRays[in_uIndex].fElevation;
    return ZV_Success;
}

ZvResult HostMixerInputContext::ComputeSpeakerVolumes(ZvChannelLayout in_inputConfig,
                                                      ZvChannelLayout in_outputConfig,
                                                      ZV::SpeakerVolumeMatrix& out_prevVolumes,
                                                      ZV::SpeakerVolumeMatrix& out_nextVolumes) {
    ++m_uComputeSpeakerVolumesCalls;
    if (!MatrixFits(out_prevVolumes, in_inputConfig, in_outputConfig) ||
        !MatrixFits(out_nextVolumes, in_inputConfig, in_outputConfig)) {
        char szMessage[128];
        std::snprintf(szMessage, sizeof(szMessage),
                      "ComputeSpeakerVolumes: matrices %ux%u and %ux%u for %u into %u channels",
                      out_prevVolumes.uNumInputs, out_prevVolumes.uNumOutputs,
                      out_nextVolumes.uNumInputs, out_nextVolumes.uNumOutputs,
                      static_cast<uint32_t>(in_inputConfig.uNumChannels),
                      static_cast<uint32_t>(in_outputConfig.uNumChannels));
        m_log.Record(szMessage);
        return ZV_BadParameter;
    }
    const float fAzimuth = m_uRayCount != 0 ? m_aRays[0].fAzimuth * kDegreesPerRadian : 0.0f;
    const float fPrevAzimuth = m_bHasPanned ? m_fLastPanAzimuth : fAzimuth;
    ComputePanningMatrix(in_inputConfig, in_outputConfig, fPrevAzimuth, out_prevVolumes);
    ComputePanningMatrix(in_inputConfig, in_outputConfig, fAzimuth, out_nextVolumes);
    m_bHasPanned = true;
    m_fLastPanAzimuth = fAzimuth;
    return ZV_Success;
}

void HostMixerInputContext::Unexpected(const char* in_pszSlot) {
    m_log.Record(std::string("IMixerInputContext::") + in_pszSlot + " is not for plug-ins");
}

}  // namespace host
