// The test host's context of one mixer input (voice): its attachment parameters, the mixer's user
// data, its rays (the 3D positions that tests script) and its speaker volumes.
//
// Rays: a test sets up to kMaxRays rays of (distance, azimuth, elevation), radians. Get3DPosition
// fills the three leading floats of the caller's record and leaves the rest as the caller set it;
// the record as it arrived is kept (LastRayReceived) so that a test can see how the mixer
// prepared it. An index beyond the rays, or a failure the test asked for, returns ZV_Failure and
// leaves the record untouched.
//
// Speaker volumes: ComputeSpeakerVolumes pans by ray 0's azimuth (straight ahead without rays),
// with the law of HostSpeakerPanner.h. The next matrix is for the current azimuth, the previous
// one for the azimuth of the previous call (the current one at the first call), as a host that
// remembers last frame's position would hand them out.
//
// Threads: a test scripts the context before the mixer's audio thread uses it, and reads the
// recorded values after; the context itself takes no lock. Its calls allocate nothing.
#pragma once

#include <stdint.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "HostContractLog.h"
#include "ZvHostEngine.h"

namespace host {

struct HostRay {
    float fDistance;
    float fAzimuth;    // radians, positive to the right
    float fElevation;  // radians, positive upwards
};

class HostMixerInputContext final : public ZV::IMixerInputContext {
public:
    static constexpr uint32_t kMaxRays = 8;

    explicit HostMixerInputContext(uint32_t in_uInputId = 0);

    // Scripting.
    void SetAttachmentParameters(ZV::IPluginParam* in_pParams) { m_pAttachment = in_pParams; }
    // Replaces the rays; rays beyond kMaxRays are a test's mistake and are recorded as an error.
    void SetRays(std::initializer_list<HostRay> in_rays);
    void SetPosition(float in_fDistance, float in_fAzimuth, float in_fElevation) {
        SetRays({HostRay{in_fDistance, in_fAzimuth, in_fElevation}});
    }
    void FailGet3DPosition(bool in_bFail) { m_bFailGet3DPosition = in_bFail; }

    // What the mixer did.
    const ZV::ZvEmitterRay& LastRayReceived() const { return m_lastRayReceived; }
    uint32_t Get3DPositionCalls() const { return m_uGet3DPositionCalls; }
    uint32_t ComputeSpeakerVolumesCalls() const { return m_uComputeSpeakerVolumesCalls; }
    // The azimuth (degrees) that the next ComputeSpeakerVolumes pans its previous matrix from,
    // once there was a call.
    bool HasPanned() const { return m_bHasPanned; }
    float LastPanAzimuth() const { return m_fLastPanAzimuth; }
    std::vector<std::string> Errors() const { return m_log.Errors(); }

    // IMixerInputContext
    ZV::IPluginParam* GetAttachmentParameters() const override { return m_pAttachment; }
    uint32_t GetInputId() const override { return m_uInputId; }
    bool IsVirtual() const override { return false; }
    uint32_t GetConnectionType() const override { return 0; }
    void* GetInputData() const override { return m_pUserData; }
    void SetInputData(void* in_pUserData) override { m_pUserData = in_pUserData; }
    float GetCenterPercentage() const override { return 0.0f; }
    uint32_t GetSpatializationMode() const override { return 0; }
    bool HasListenerRelativeRouting() const override { return true; }
    uint32_t GetPanningType() const override { return 0; }
    void HostReserved11() override { Unexpected("HostReserved11"); }
    uint32_t GetRayCount() const override { return m_uRayCount; }
    ZvResult Get3DPosition(uint32_t in_uIndex, ZV::ZvEmitterRay& out_ray) const override;
    void HostReserved14() override { Unexpected("HostReserved14"); }
    void HostReserved15() override { Unexpected("HostReserved15"); }
    void HostReserved16() override { Unexpected("HostReserved16"); }
    ZvResult ComputeSpeakerVolumes(ZvChannelLayout in_inputConfig, ZvChannelLayout in_outputConfig,
                                   ZV::SpeakerVolumeMatrix& out_prevVolumes,
                                   ZV::SpeakerVolumeMatrix& out_nextVolumes) override;

private:
    void Unexpected(const char* in_pszSlot);

    uint32_t m_uInputId;
    ZV::IPluginParam* m_pAttachment = nullptr;
    void* m_pUserData = nullptr;
    HostRay m_aRays[kMaxRays] = {};
    uint32_t m_uRayCount = 0;
    bool m_bFailGet3DPosition = false;
    // Get3DPosition is const in the host's interface; what it records is not the input's state.
    mutable ZV::ZvEmitterRay m_lastRayReceived = {};
    mutable uint32_t m_uGet3DPositionCalls = 0;
    uint32_t m_uComputeSpeakerVolumesCalls = 0;
    bool m_bHasPanned = false;
    float m_fLastPanAzimuth = 0.0f;  // degrees
    mutable HostContractLog m_log;
};

}  // namespace host
