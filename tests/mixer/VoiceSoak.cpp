#include "VoiceSoak.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "HostSpeakerPanner.h"
#include "SpatialMixerFXAttachmentParams.h"
#include "WaitUntil.h"
#include "standin/Control.h"

namespace mixer_tests {
namespace {

constexpr uint32_t kVoiceCount = 36;             // voice ids 1 to 36
constexpr uint32_t kSpacing = 64;                // samples between two pulses of one voice
constexpr uint32_t kCodeBase = 1u << 20;         // codes run from 2^20 to 2^21 - 1
constexpr float kCodeScale = 1.0f / 2097152.0f;  // 2^-21: a code as a sample
constexpr uint32_t kSampleRate = 48000;
constexpr uint32_t kOutputs = 6;
constexpr uint32_t kLfeColumn = 5;
constexpr float kVolumes[4] = {1.0f, 0.5f, 0.25f, 0.125f};
const uint64_t kRetryMilliseconds[3] = {1000, 2000, 4000};

// The engine's audio time after the frame with index in_uFrame, as the mixer counts it.
uint64_t AudioMilliseconds(uint64_t in_uFrame) {
    return (in_uFrame + 1) * kSoakFrames * 1000 / kSampleRate;
}

// Where the renderer is told a ray is: x right, y up, z behind the listener.
void RendererPosition(const host::HostRay& in_ray, float* out_pPosition) {
    const double fHorizontal = std::cos(double{in_ray.fElevation}) * in_ray.fDistance;
    out_pPosition[0] = static_cast<float>(std::sin(double{in_ray.fAzimuth}) * fHorizontal);
    out_pPosition[1] = static_cast<float>(std::sin(double{in_ray.fElevation}) * in_ray.fDistance);
    out_pPosition[2] = static_cast<float>(-std::cos(double{in_ray.fAzimuth}) * fHorizontal);
}

bool Near(const float* in_pA, const float* in_pB) {
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(in_pA[i] - in_pB[i]) <= 1e-3f)) {
            return false;
        }
    }
    return true;
}

bool Same(const float* in_pA, const float* in_pB) {
    return in_pA[0] == in_pB[0] && in_pA[1] == in_pB[1] && in_pA[2] == in_pB[2];
}

// The first pulse of voice in_uVoice in the frame that starts at engine sample in_uStart.
uint32_t FirstPulse(uint32_t in_uVoice, uint64_t in_uStart) {
    return static_cast<uint32_t>((in_uVoice + kSpacing - in_uStart % kSpacing) % kSpacing);
}

// The distinct positions among a frame's voices.
class PositionSet {
public:
    void Insert(const float* in_pPosition) {
        for (uint32_t i = 0; i < m_uCount; ++i) {
            if (Same(m_aPositions[i], in_pPosition)) {
                return;
            }
        }
        std::copy(in_pPosition, in_pPosition + 3, m_aPositions[m_uCount++]);
    }
    uint32_t Size() const { return m_uCount; }

private:
    float m_aPositions[64][3] = {};
    uint32_t m_uCount = 0;
};

struct Decoded {
    uint32_t uCode = 0;
    bool bStereo = false;
    uint32_t uShareShift = 0;  // the sample was scaled by 2^-shift
};

// An object sample back to its code; false when it is no pulse of any voice.
bool Decode(float in_fSample, Decoded& out_decoded) {
    out_decoded.bStereo = in_fSample < 0.0f;
    const double fMagnitude = std::fabs(double{in_fSample}) * 2097152.0;
    // A stereo voice's two channels, each times 0.7, added.
    const double fGain = out_decoded.bStereo ? 2.0 * double{0.7f} : 1.0;
    for (uint32_t uShift = 0; uShift < 4; ++uShift) {
        const double fCode = fMagnitude * static_cast<double>(1u << uShift) / fGain;
        if (fCode >= kCodeBase - 0.5 && fCode < 2.0 * kCodeBase) {
            const double fRounded = std::round(fCode);
            const double fError = std::fabs(fCode - fRounded);
            if (out_decoded.bStereo ? fError > 0.2 : fError != 0.0) {
                return false;
            }
            out_decoded.uCode = static_cast<uint32_t>(fRounded);
            out_decoded.uShareShift = uShift;
            return out_decoded.uCode >= kCodeBase;
        }
    }
    return false;
}

std::string Text(const char* in_pszFormat, ...) __attribute__((format(printf, 1, 2)));
std::string Text(const char* in_pszFormat, ...) {
    char szText[512];
    va_list args;
    va_start(args, in_pszFormat);
    std::vsnprintf(szText, sizeof(szText), in_pszFormat, args);
    va_end(args);
    return szText;
}

}  // namespace

std::string SoakCoverage::Summary() const {
    return Text(
        "%u frames, %u losses (%u failed attempts, %u returns), %u meetings, %u frames "
        "over and %u under the budget; %llu object samples heard, %llu lost across "
        "losses, %llu lost to passes the worker missed",
        uFrames, uLosses, uFailedAttempts, uReturns, uMeetings, uFramesOverBudget,
        uFramesUnderBudget, static_cast<unsigned long long>(uObjectSamplesHeard),
        static_cast<unsigned long long>(uSamplesLostAcrossLosses),
        static_cast<unsigned long long>(uSamplesLostToMissedPasses));
}

struct VoiceSoak::Voice {
    uint32_t uId = 0;
    size_t uIndex = 0;  // in the bus driver
    uint32_t uMask = 0;
    uint32_t uMainChannels = 0;  // without the low-frequency one
    bool bLfe = false;
    float fVolume = 1.0f;
    host::MixerBusDriver::Voice* pVoice = nullptr;
    ZV::IPluginParam* pAttachment = nullptr;
    bool bBypassLocal = false;
    bool bConnected = true;
    bool bReconnected = false;
    host::HostRay ray = {};
    float fSpeed = 0.0f;
    int iFollow = 0;  // the voice whose position it shares (a meeting), or 0
    uint32_t uFollowUntil = 0;

    bool CanTakeObject() const { return uMainChannels == 1 || uMainChannels == 2; }
    bool Playing() const { return pVoice->IsPlaying(); }
};

VoiceSoak::VoiceSoak(const SoakRig& in_rig, uint32_t in_uSeed)
    : m_rig(in_rig),
      m_random(in_uSeed),
      m_expected(size_t{kOutputs} * kSoakFrames),
      m_prevVolumes(size_t{8} * kOutputs * 2),
      m_nextVolumes(size_t{8} * kOutputs * 2) {
    standin::CapturePasses(m_rig.bRealTime ? 4096 : 256);
    m_uLateFrames = m_rig.bRealTime ? 60 : 8;
    m_voices.resize(kVoiceCount + 1);
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        auto pVoice = std::make_unique<Voice>();
        Voice& voice = *pVoice;
        voice.uId = uId;
        // Mono, stereo, 2.1 and mono with a low-frequency channel; now and then a voice of the
        // low-frequency channel alone, or a 5.1 one, which only the bed takes.
        const uint32_t aMasks[4] = {0xC, 0x4, 0x3, 0xB};
        voice.uMask = uId % 12 == 6 ? 0x8u : uId % 12 == 0 ? 0x3Fu : aMasks[uId % 4];
        voice.bLfe = (voice.uMask & 0x8u) != 0;
        voice.uMainChannels = ZV::GetNumNonZeroBits(voice.uMask) - (voice.bLfe ? 1u : 0u);
        voice.fVolume = kVolumes[(uId * 7) % 4];
        voice.ray = {1.5f + 0.5f * static_cast<float>(uId % 7), 0.37f * static_cast<float>(uId),
                     0.25f * (static_cast<float>(uId % 3) - 1.0f)};
        voice.fSpeed = (0.004f + 0.003f * static_cast<float>(uId % 5)) * (uId % 2 ? 1.0f : -1.0f);
        voice.uIndex = m_rig.driver.VoiceCount();
        voice.pVoice = &m_rig.driver.AddVoice(ZvChannelLayout::FromMask(voice.uMask), uId);
        voice.pVoice->SetEmitterListenerVolume({voice.fVolume, voice.fVolume});
        voice.pVoice->Context().SetPosition(voice.ray.fDistance, voice.ray.fAzimuth,
                                            voice.ray.fElevation);
        const bool bStereo = voice.uMainChannels == 2;
        const bool bLfe = voice.bLfe;
        voice.pVoice->SetSource([uId, bStereo, bLfe](ZvSampleBuffer& io_buffer,
                                                     uint64_t in_uFrame) {
            const uint64_t uStart = in_uFrame * io_buffer.uMaxFrames;
            const uint32_t uChannels = io_buffer.NumChannels();
            for (uint32_t t = FirstPulse(uId, uStart); t < io_buffer.uValidFrames; t += kSpacing) {
                const float fCode =
                    static_cast<float>(kCodeBase + (uStart + t) % kCodeBase) * kCodeScale;
                for (uint32_t uChannel = 0; uChannel < uChannels; ++uChannel) {
                    const bool bLfeChannel = bLfe && uChannel + 1 == uChannels;
                    io_buffer.pData[size_t{uChannel} * io_buffer.uMaxFrames + t] =
                        bLfeChannel ? 0.25f * fCode
                        : bStereo   ? -fCode
                                    : fCode;
                }
            }
        });
        if (uId % 5 == 0 || uId % 5 == 3) {
            voice.pAttachment = CreateSpatialMixerFXAttachmentParams(&m_rig.allocator);
            const uint8_t aBlock[1] = {0};
            voice.pAttachment->InitParameters(&m_rig.allocator, aBlock, 1);
            voice.pVoice->Context().SetAttachmentParameters(voice.pAttachment);
        }
        // About two thirds play from the start.
        voice.pVoice->SetPlaying(m_random() % 3 != 0);
        m_voices[uId] = std::move(pVoice);
    }

    // The renderer goes four times: a failed pass (back on the same endpoint at once); a lost
    // device whose successor has passes twice as long and half the grant, found after one
    // failed attempt; no endpoint at all for two attempts, then one with short passes and more
    // objects than the mixer uses; a lost device for three attempts, then the first kind back.
    standin::EndpointConfig longPasses;
    longPasses.id = L"{0.0.0.00000000}.{50a4c0de-0000-4000-8000-000000000001}";
    longPasses.frameCount = 960;
    longPasses.maxDynamicObjects = 8;
    standin::EndpointConfig shortPasses;
    shortPasses.id = L"{0.0.0.00000000}.{50a4c0de-0000-4000-8000-000000000002}";
    shortPasses.frameCount = 256;
    shortPasses.maxDynamicObjects = 40;
    standin::EndpointConfig usual;
    usual.id = L"{0.0.0.00000000}.{50a4c0de-0000-4000-8000-000000000003}";
    if (m_rig.bRealTime) {
        m_losses = {{60, LossKind::FailedPass, 0, {}}, {200, LossKind::NewDevice, 0, longPasses}};
    } else {
        m_losses = {{250, LossKind::FailedPass, 0, {}},
                    {500, LossKind::NewDevice, 1, longPasses},
                    {900, LossKind::NoEndpointThenDevice, 2, shortPasses},
                    {1500, LossKind::NewDevice, 3, usual}};
    }
    m_callOrder.resize(kVoiceCount);
    for (size_t i = 0; i < m_callOrder.size(); ++i) {
        m_callOrder[i] = i;
    }
}

VoiceSoak::~VoiceSoak() {
    standin::CapturePasses(0);
}

void VoiceSoak::Fail(const std::string& in_message) {
    // The first faults tell the story; a run that goes wrong need not list every sample.
    if (m_failures.size() < 20) {
        m_failures.push_back(Text("frame %zu: ", m_frames.size()) + in_message);
    }
}

// Attempts at an activation since the last look (each asks for the default endpoint once,
// whichever the build). The call log is emptied at each look, so that it stays short.
uint32_t VoiceSoak::AttemptCalls() const {
    const uint64_t uCalls = standin::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint") +
                            standin::CallCount("IMediaDeviceStatics::GetDefaultAudioRenderId");
    standin::ClearCallLog();
    return static_cast<uint32_t>(uCalls);
}

void VoiceSoak::LookUpRunningStream() {
    m_running = RunningStream{};
    if (m_rig.mixer.CurrentStreamState() != StreamRunning) {
        return;
    }
    const std::vector<standin::StreamActivation> streams = standin::StreamActivations();
    for (auto it = streams.rbegin(); it != streams.rend(); ++it) {
        if (it->result == S_OK) {
            m_running = {it->streamId, it->maxDynamicObjectCount};
            return;
        }
    }
}

void VoiceSoak::Run(uint32_t in_uFrames) {
    auto next = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < in_uFrames; ++i) {
        ApplyScript();
        RunOneFrame();
        if (m_rig.bRealTime) {
            // The engine's pace, but never a burst to catch up: a late frame is late.
            next = std::max(next + std::chrono::microseconds(1000000 * kSoakFrames / kSampleRate),
                            std::chrono::steady_clock::now());
            std::this_thread::sleep_until(next);
        }
        Pace();
        CompleteFrames(false);
    }
}

// ---- The script ----

void VoiceSoak::ApplyScript() {
    const uint32_t uFrame = static_cast<uint32_t>(m_frames.size());
    if (!m_bInLoss && m_uNextLoss < m_losses.size() && uFrame >= m_losses[m_uNextLoss].uFrame &&
        m_rig.mixer.CurrentStreamState() == StreamRunning) {
        InjectLoss(m_losses[m_uNextLoss++]);
    }
    auto chance = [&](uint32_t in_uPerMille) { return m_random() % 1000 < in_uPerMille; };

    // MaxObjects now and then, from plenty to none and back (a negative one does not limit).
    if (uFrame % 97 == 50) {
        const int32_t aChoices[7] = {32, 12, 6, 3, -1, 0, 20};
        const int32_t iMaxObjects = aChoices[m_random() % 7];
        if (static_cast<uint32_t>(iMaxObjects) < static_cast<uint32_t>(m_iMaxObjects)) {
            m_bBudgetDropping = true;
        }
        m_iMaxObjects = iMaxObjects;
        m_rig.params.SetParameter(6, &m_iMaxObjects, 4);
    }
    // The mixer's own bypass, for a while once in a long while.
    if (m_bBypass ? chance(60) : chance(2)) {
        m_bBypass = !m_bBypass;
        const float fBypass = m_bBypass ? 1.0f : 0.0f;
        m_rig.params.SetParameter(0, &fBypass, 4);
    }
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        Voice& voice = *m_voices[uId];
        voice.bReconnected = false;
        if (voice.Playing() ? chance(10) : chance(12)) {
            if (voice.Playing()) {
                voice.pVoice->SetPlaying(false);
                ++m_coverage.uStops;
                // Some stopped voices are disconnected, as the engine does when it frees them.
                if (chance(500)) {
                    m_rig.mixer.DisconnectInput(&voice.pVoice->Context());
                    voice.bConnected = false;
                }
            } else {
                if (!voice.bConnected) {
                    m_rig.mixer.ConnectInput(&voice.pVoice->Context());
                    voice.bConnected = true;
                }
                voice.pVoice->SetPlaying(true);
                ++m_coverage.uStarts;
            }
        } else if (voice.Playing() && chance(3)) {
            m_rig.mixer.DisconnectInput(&voice.pVoice->Context());
            m_rig.mixer.ConnectInput(&voice.pVoice->Context());
            voice.bReconnected = true;
            ++m_coverage.uReconnects;
        }
        if (voice.pAttachment != nullptr && chance(voice.bBypassLocal ? 40 : 5)) {
            voice.bBypassLocal = !voice.bBypassLocal;
            const float fValue = voice.bBypassLocal ? 1.0f : 0.0f;
            voice.pAttachment->SetParameter(0, &fValue, 4);
            ++m_coverage.uBypassLocalSwitches;
        }
    }
    // Meetings: a playing voice goes to another one's very position and stays with it a while.
    if (chance(25)) {
        const uint32_t uA = 1 + m_random() % kVoiceCount;
        const uint32_t uB = 1 + m_random() % kVoiceCount;
        Voice& a = *m_voices[uA];
        Voice& b = *m_voices[uB];
        if (uA != uB && a.Playing() && b.Playing() && a.iFollow == 0 && b.iFollow == 0 &&
            a.CanTakeObject() && b.CanTakeObject()) {
            b.iFollow = static_cast<int>(uA);
            b.uFollowUntil = uFrame + 20 + m_random() % 60;
            ++m_coverage.uMeetings;
        }
    }
    if (chance(150)) {
        std::shuffle(m_callOrder.begin(), m_callOrder.end(), m_random);
        m_rig.driver.SetCallOrder(m_callOrder);
    }
    MoveVoices();
}

void VoiceSoak::MoveVoices() {
    const uint32_t uFrame = static_cast<uint32_t>(m_frames.size());
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        Voice& voice = *m_voices[uId];
        if (voice.iFollow != 0) {
            const Voice& leader = *m_voices[static_cast<uint32_t>(voice.iFollow)];
            if (uFrame >= voice.uFollowUntil || !leader.Playing() || !voice.Playing()) {
                // They part: its own way again, a little further out.
                voice.iFollow = 0;
                voice.ray.fDistance += 0.3f;
                ++m_coverage.uPartings;
            }
        }
    }
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        Voice& voice = *m_voices[uId];
        if (voice.iFollow == 0) {
            voice.ray.fAzimuth += voice.fSpeed;
        }
    }
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        Voice& voice = *m_voices[uId];
        if (voice.iFollow != 0) {
            voice.ray = m_voices[static_cast<uint32_t>(voice.iFollow)]->ray;
        }
        voice.pVoice->Context().SetPosition(voice.ray.fDistance, voice.ray.fAzimuth,
                                            voice.ray.fElevation);
    }
}

void VoiceSoak::InjectLoss(const Loss& in_loss) {
    m_bInLoss = true;
    m_pLoss = &in_loss;
    m_bEndpointBack = in_loss.eKind == LossKind::FailedPass;
    m_uStreamBeforeLoss = m_running.uId;
    AttemptCalls();
    m_uAttempts = 0;
    m_attemptFrames.clear();
    ++m_coverage.uLosses;
    switch (in_loss.eKind) {
        case LossKind::FailedPass:
            standin::FailCall("ISpatialAudioObjectRenderStreamBase::BeginUpdatingAudioObjects", 1,
                              AUDCLNT_E_RESOURCES_INVALIDATED);
            // The pass that fails never ends: the step gives up on it.
            standin::Step(std::chrono::milliseconds(100));
            break;
        case LossKind::NewDevice:
            standin::LoseDevice();
            break;
        case LossKind::NoEndpointThenDevice:
            standin::LoseDevice();
            standin::RemoveDefaultEndpoint();
            break;
    }
    if (!m_bEndpointBack && in_loss.uFailures == 0) {
        standin::SetDefaultEndpoint(in_loss.next);
        m_uPeriod = in_loss.next.frameCount;
        m_bEndpointBack = true;
    }
    // Until the worker has found the loss and let go of the stream (in stepped pacing the
    // renderer's clock runs on for its 100-millisecond wait).
    const bool bLost = testing_support::WaitUntil([&]() {
        if (!m_rig.bRealTime && m_rig.mixer.CurrentStreamState() != StreamLost) {
            standin::Step(std::chrono::milliseconds(50));
        }
        return m_rig.mixer.CurrentStreamState() == StreamLost && !m_rig.mixer.WorkerHoldsStream();
    });
    if (!bLost) {
        Fail("the worker did not find the loss");
    }
    m_uRendered = m_uProduced;
    LookUpRunningStream();
}

// After each frame: counts the attempts, brings the endpoint back after the failures the loss
// asks for, and ends the loss when the objects are back.
void VoiceSoak::FollowLoss() {
    if (!m_bInLoss) {
        return;
    }
    const uint32_t uFrame = static_cast<uint32_t>(m_frames.size()) - 1;
    const uint32_t uCalls = AttemptCalls();
    if (uCalls != 0) {
        m_attemptFrames.push_back(uFrame);
        m_uAttempts += uCalls;
    }
    if (!m_bEndpointBack && m_uAttempts >= m_pLoss->uFailures) {
        if (m_rig.mixer.CurrentStreamState() == StreamRunning) {
            Fail("a re-activation on a lost or missing endpoint succeeded");
        }
        standin::SetDefaultEndpoint(m_pLoss->next);
        m_uPeriod = m_pLoss->next.frameCount;
        m_bEndpointBack = true;
        m_coverage.uFailedAttempts += m_pLoss->uFailures;
    }
    // Over once a frame has played on objects of a new stream.
    const uint64_t uStream = m_frames.back().uStream;
    if (!m_bEndpointBack || uStream == 0 || uStream == m_uStreamBeforeLoss) {
        return;
    }
    m_bInLoss = false;
    ++m_coverage.uReturns;
    // The first attempt in the frame that found the loss, each later one an interval after the
    // frame that saw the one before fail.
    if (m_attemptFrames.size() != m_pLoss->uFailures + 1 || m_uAttempts != m_attemptFrames.size()) {
        Fail(Text("%u attempts in %zu frames for %u failures", m_uAttempts, m_attemptFrames.size(),
                  m_pLoss->uFailures));
    } else {
        for (size_t i = 1; i < m_attemptFrames.size(); ++i) {
            const uint64_t uDue =
                AudioMilliseconds(m_attemptFrames[i - 1] + 1) + kRetryMilliseconds[i - 1];
            const bool bOnTime = AudioMilliseconds(m_attemptFrames[i]) >= uDue &&
                                 AudioMilliseconds(m_attemptFrames[i] - 1) < uDue;
            if (!bOnTime) {
                Fail(Text("attempt %zu in frame %u, the one before in frame %u", i,
                          m_attemptFrames[i], m_attemptFrames[i - 1]));
            }
        }
    }
    if (m_rig.bDesktop) {
        m_uNoticesExpected += 2;
    }
    // At the renderer's real pace a worker kept from its core for 100 ms loses the stream
    // too: only a stepped run knows every loss.
    if (!m_rig.bRealTime && m_rig.context.MonitorLog().MessageCount() != m_uNoticesExpected) {
        Fail(Text("%zu notices, not %zu", m_rig.context.MonitorLog().MessageCount(),
                  m_uNoticesExpected));
    }
}

// ---- One frame ----

void VoiceSoak::Settle() {
    const bool bSettled = testing_support::WaitUntil([&]() {
        return !m_rig.mixer.StreamActivationPending() &&
               (m_rig.mixer.CurrentStreamState() != StreamLost || !m_rig.mixer.WorkerHoldsStream());
    });
    if (!bSettled) {
        Fail("an activation or the worker did not settle");
    }
}

void VoiceSoak::RunOneFrame() {
    const StreamState eStateBefore = m_rig.mixer.CurrentStreamState();
    LookUpRunningStream();
    Frame& frame = m_frames.emplace_back();
    frame.uStream = m_running.uId;
    frame.bBudgetDropped = m_bBudgetDropping;
    m_bBudgetDropping = false;
    frame.voices.resize(kVoiceCount + 1);
    m_panBefore.assign(kVoiceCount + 1, PanState{});
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        const Voice& voice = *m_voices[uId];
        RendererPosition(voice.ray, frame.voices[uId].afPosition);
        frame.voices[uId].bReconnected = voice.bReconnected;
        m_panBefore[uId] = {voice.pVoice->Context().HasPanned(),
                            voice.pVoice->Context().LastPanAzimuth()};
    }
    const uint64_t uPostsBefore = m_rig.context.MonitorLog().DataPostCount();
    m_rig.driver.RunFrame();
    Settle();
    ++m_coverage.uFrames;
    CheckBus(frame);
    CheckCounters(frame, uPostsBefore, eStateBefore);
    FollowLoss();
}

void VoiceSoak::Pace() {
    m_uProduced += kSoakFrames;
    if (!m_rig.bRealTime) {
        while (m_uRendered + m_uPeriod <= m_uProduced) {
            standin::Step();
            m_uRendered += m_uPeriod;
        }
    }
    for (const standin::Pass& pass : standin::TakePasses()) {
        CheckPass(pass);
    }
    LookUpRunningStream();
}

// ---- The bus ----

void VoiceSoak::CheckBus(Frame& io_frame) {
    const uint64_t uStart = (m_frames.size() - 1) * uint64_t{kSoakFrames};
    const ZvSampleBuffer& bus = m_rig.driver.MixBuffer();
    const ZvChannelLayout outputLayout = ZvChannelLayout::FromMask(kSoakOutputMask);
    std::fill(m_expected.begin(), m_expected.end(), 0.0f);
    ZvSampleBuffer expected = {m_expected.data(), outputLayout, 0, kSoakFrames, kSoakFrames};
    const uint32_t uStride = ZV::SpeakerVolumeRowStride(kOutputs);

    m_uObjectVoicesThisFrame = 0;
    PositionSet groups;   // the positions of the voices on objects
    PositionSet wanting;  // and of those that could be
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        const Voice& voice = *m_voices[uId];
        FrameVoice& frameVoice = io_frame.voices[uId];
        if (!voice.Playing()) {
            continue;
        }
        // Which route it took shows on the bus at its own sample times.
        bool bOnBed = false;
        for (uint32_t t = FirstPulse(uId, uStart); t < kSoakFrames; t += kSpacing) {
            ++frameVoice.uPulses;
            for (uint32_t uChannel = 0; uChannel < kOutputs; ++uChannel) {
                const bool bLfeColumn = uChannel == kLfeColumn;
                if (bLfeColumn == (voice.uMainChannels == 0) &&
                    bus.pData[size_t{uChannel} * kSoakFrames + t] != 0.0f) {
                    bOnBed = true;
                }
            }
        }
        frameVoice.eRoute = bOnBed ? Route::Bed : Route::Object;
        if (!bOnBed && !voice.CanTakeObject()) {
            Fail(Text("voice %u of %u channels is not on the bed", uId, voice.uMainChannels));
        }
        if (!bOnBed && io_frame.uStream == 0) {
            Fail(Text("voice %u is not on the bed while no stream runs", uId));
        }
        if (!bOnBed) {
            groups.Insert(frameVoice.afPosition);
            ++m_uObjectVoicesThisFrame;
        }
        if (io_frame.uStream != 0 && voice.CanTakeObject() && !voice.bBypassLocal && !m_bBypass) {
            wanting.Insert(frameVoice.afPosition);
        }

        // What the host's own mixing makes of it: the whole voice on the bed, or only its
        // low-frequency channel beside its object.
        if (!bOnBed && !voice.bLfe) {
            continue;
        }
        const ZvChannelLayout inputLayout = ZvChannelLayout::FromMask(voice.uMask);
        const uint32_t uInputs = inputLayout.uNumChannels;
        ZV::SpeakerVolumeMatrix prevVolumes = {m_prevVolumes.data(), uInputs, kOutputs};
        ZV::SpeakerVolumeMatrix nextVolumes = {m_nextVolumes.data(), uInputs, kOutputs};
        const float fAzimuth = voice.ray.fAzimuth * 57.29577951308232f;
        const PanState& pan = m_panBefore[uId];
        host::ComputePanningMatrix(inputLayout, outputLayout,
                                   pan.bHasPanned ? pan.fAzimuth : fAzimuth, prevVolumes);
        host::ComputePanningMatrix(inputLayout, outputLayout, fAzimuth, nextVolumes);
        if (!bOnBed) {
            const size_t uOthers = size_t{uInputs - 1} * uStride;
            std::fill(m_prevVolumes.begin(), m_prevVolumes.begin() + uOthers, 0.0f);
            std::fill(m_nextVolumes.begin(), m_nextVolumes.begin() + uOthers, 0.0f);
        }
        m_expectedMixer.MixWithVolumes(&voice.pVoice->Buffer(), &expected, voice.fVolume,
                                       voice.fVolume, prevVolumes, nextVolumes);
    }
    if (groups.Size() < m_uObjectVoicesThisFrame) {
        ++m_coverage.uSharedObjectFrames;
    }
    if (io_frame.uStream != 0) {
        const uint32_t uBudget =
            std::min<uint32_t>(static_cast<uint32_t>(m_iMaxObjects), m_running.uGrant);
        m_coverage.uFramesOverBudget += wanting.Size() > uBudget ? 1u : 0u;
        m_coverage.uFramesUnderBudget += wanting.Size() < uBudget ? 1u : 0u;
    }
    m_uGroupsThisFrame = groups.Size();
    for (uint32_t uChannel = 0; uChannel < kOutputs; ++uChannel) {
        for (uint32_t t = 0; t < kSoakFrames; ++t) {
            const size_t uAt = size_t{uChannel} * kSoakFrames + t;
            if (bus.pData[uAt] != m_expected[uAt]) {
                Fail(Text("bus channel %u sample %u (voice %u's time) is %.9g, not %.9g", uChannel,
                          t, static_cast<uint32_t>((uStart + t) % kSpacing), double{bus.pData[uAt]},
                          double{m_expected[uAt]}));
                return;
            }
        }
    }
}

void VoiceSoak::CheckCounters(Frame& io_frame, uint64_t in_uPostsBefore,
                              StreamState in_eStateBefore) {
    const host::HostMonitorLog& log = m_rig.context.MonitorLog();
    uint32_t uCalled = 0;
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        uCalled += m_voices[uId]->Playing() ? 1u : 0u;
    }
    if (log.DataPostCount() == in_uPostsBefore) {
        // Only the frame that takes the reset path posts nothing.
        if (in_eStateBefore != StreamLost &&
            !(m_rig.bRealTime && m_rig.mixer.CurrentStreamState() != StreamRunning)) {
            Fail("no counters in a frame without a loss");
        }
        return;
    }
    SpatialMixerFX::MonitorData data = {};
    uint32_t uSize = 0;
    if (log.DataPostCount() != in_uPostsBefore + 1 ||
        log.LatestData(&data, sizeof(data), uSize) == 0 || uSize != sizeof(data)) {
        Fail("not one counter record of 12 bytes in the frame");
        return;
    }
    io_frame.uPlayingObjects = data.uPlayingObjects;
    const uint32_t uGrant = io_frame.uStream != 0 ? m_running.uGrant : 0;
    if (data.uTotalVoices != uCalled || data.uMaxAvailableObjects != uGrant ||
        data.uPlayingObjects != m_uGroupsThisFrame) {
        Fail(Text("counters {%u, %u, %u}, not {%u, %u, %u}", data.uPlayingObjects,
                  data.uTotalVoices, data.uMaxAvailableObjects, m_uGroupsThisFrame, uCalled,
                  uGrant));
    }
}

// ---- The objects ----

bool VoiceSoak::Together(uint32_t in_uFrame, uint32_t in_uA, uint32_t in_uB) const {
    const FrameVoice& a = m_frames[in_uFrame].voices[in_uA];
    const FrameVoice& b = m_frames[in_uFrame].voices[in_uB];
    return a.eRoute == Route::Object && b.eRoute == Route::Object &&
           Same(a.afPosition, b.afPosition);
}

float VoiceSoak::LoudestAt(uint32_t in_uFrame, uint32_t in_uVoice) const {
    float fLoudest = 0.0f;
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        if (Together(in_uFrame, in_uVoice, uId)) {
            fLoudest = std::max(fLoudest, m_voices[uId]->fVolume);
        }
    }
    return fLoudest;
}

bool VoiceSoak::WasAt(uint32_t in_uVoice, const float* in_pPosition, uint32_t in_uFrom,
                      uint32_t in_uTo) const {
    for (uint32_t uFrame = in_uFrom; uFrame <= in_uTo && uFrame < m_frames.size(); ++uFrame) {
        const FrameVoice& voice = m_frames[uFrame].voices[in_uVoice];
        if (voice.eRoute != Route::None && Near(voice.afPosition, in_pPosition)) {
            return true;
        }
    }
    return false;
}

void VoiceSoak::CheckPass(const standin::Pass& in_pass) {
    const uint32_t uNow = static_cast<uint32_t>(m_frames.size() - 1);
    for (const standin::ObjectPass& object : in_pass.objects) {
        if (!object.gotBuffer) {
            continue;  // ended in this pass: it plays nothing
        }
        ObjectState& state = m_objects[object.objectId];
        std::map<uint32_t, uint32_t> firstFrames;  // voice -> its first frame in this pass
        for (float fSample : object.samples) {
            if (fSample != 0.0f) {
                CheckObjectSample(in_pass, object, fSample, firstFrames);
            }
        }
        const float afPosition[3] = {object.x, object.y, object.z};
        if (!firstFrames.empty()) {
            uint32_t uEarliest = uNow;
            std::set<uint32_t> voices = state.voices;
            for (const auto& entry : firstFrames) {
                uEarliest = std::min(uEarliest, entry.second);
                voices.insert(entry.first);
            }
            // The object is where its voices were, and as loud as the loudest voice at their
            // position, in a frame from its samples' on (a pass carries one position and one
            // volume, the latest the mixer gave).
            bool bPlaced = false;
            bool bLoudness = false;
            for (uint32_t uVoice : voices) {
                bPlaced = bPlaced || WasAt(uVoice, afPosition, uEarliest, uNow);
                for (uint32_t uFrame = uEarliest; uFrame <= uNow && !bLoudness; ++uFrame) {
                    bLoudness = object.volume == LoudestAt(uFrame, uVoice);
                }
            }
            if (!bPlaced || !bLoudness) {
                std::string voiceList;
                for (uint32_t uVoice : voices) {
                    voiceList += Text(" %u", uVoice);
                }
                Fail(
                    Text("object %llu at (%g, %g, %g), volume %g, from frame %u: %s any of its "
                         "voices (%s)",
                         static_cast<unsigned long long>(object.objectId), double{object.x},
                         double{object.y}, double{object.z}, double{object.volume}, uEarliest,
                         bPlaced ? "not as loud as" : "not where", voiceList.c_str()));
            }
            for (const auto& entry : firstFrames) {
                if (state.voices.count(entry.first) != 0) {
                    continue;
                }
                // A voice new on the object: it joined voices that were already on it, at
                // their very position; and the object's last pass was already there.
                const uint32_t uVoice = entry.first;
                const uint32_t uFrame = entry.second;
                bool bJoined = state.voices.empty();
                for (uint32_t uOld : state.voices) {
                    bJoined = bJoined || Together(uFrame, uVoice, uOld);
                }
                bool bFromItsPlace = !state.bHasPosition;
                for (uint32_t uId = 1; uId <= kVoiceCount && !bFromItsPlace; ++uId) {
                    bFromItsPlace = Together(uFrame, uVoice, uId) &&
                                    WasAt(uId, state.afPosition, uFrame > 8 ? uFrame - 8 : 0, uNow);
                }
                if (!bJoined || !bFromItsPlace) {
                    Fail(
                        Text("voice %u came onto object %llu (its earlier voices joined: %d, "
                             "its last pass at the voice's place: %d)",
                             uVoice, static_cast<unsigned long long>(object.objectId),
                             bJoined ? 1 : 0, bFromItsPlace ? 1 : 0));
                }
            }
            state.voices = voices;
        }
        state.bHasPosition = true;
        std::copy(afPosition, afPosition + 3, state.afPosition);
    }
}

void VoiceSoak::CheckObjectSample(const standin::Pass& in_pass,
                                  const standin::ObjectPass& in_object, float in_fSample,
                                  std::map<uint32_t, uint32_t>& io_firstFrames) {
    Decoded decoded;
    if (!Decode(in_fSample, decoded)) {
        Fail(Text("object %llu carries %.9g, which is no voice's sample",
                  static_cast<unsigned long long>(in_object.objectId), double{in_fSample}));
        return;
    }
    // The latest engine time with that code that has been played.
    const uint64_t uPlayed = m_frames.size() * uint64_t{kSoakFrames};
    uint64_t uTime = decoded.uCode - kCodeBase;
    while (uTime + kCodeBase < uPlayed) {
        uTime += kCodeBase;
    }
    const uint32_t uVoice = static_cast<uint32_t>(uTime % kSpacing);
    const uint32_t uFrame = static_cast<uint32_t>(uTime / kSoakFrames);
    if (uTime >= uPlayed || uVoice == 0 || uVoice > kVoiceCount ||
        decoded.bStereo != (m_voices[uVoice]->uMainChannels == 2)) {
        Fail(Text("object %llu carries a sample of no voice (%.9g)",
                  static_cast<unsigned long long>(in_object.objectId), double{in_fSample}));
        return;
    }
    FrameVoice& voice = m_frames[uFrame].voices[uVoice];
    const uint32_t uPulse =
        static_cast<uint32_t>(uTime - uint64_t{uFrame} * kSoakFrames) / kSpacing;
    if (voice.eRoute != Route::Object) {
        Fail(Text("voice %u's sample of frame %u is on object %llu, and %s", uVoice, uFrame,
                  static_cast<unsigned long long>(in_object.objectId),
                  voice.eRoute == Route::Bed ? "on the bed" : "the voice did not play then"));
        return;
    }
    if (in_pass.streamId != m_frames[uFrame].uStream) {
        Fail(Text("voice %u's sample of frame %u is heard on stream %llu, after its own", uVoice,
                  uFrame, static_cast<unsigned long long>(in_pass.streamId)));
        return;
    }
    if ((voice.uHeard & (1u << uPulse)) != 0) {
        Fail(Text("voice %u's sample of frame %u is heard twice", uVoice, uFrame));
        return;
    }
    voice.uHeard = static_cast<uint8_t>(voice.uHeard | (1u << uPulse));
    ++m_coverage.uObjectSamplesHeard;
    // Each voice at its own volume: the object plays at the loudest one's.
    const float fShare = 1.0f / static_cast<float>(1u << decoded.uShareShift);
    if (fShare != m_voices[uVoice]->fVolume / LoudestAt(uFrame, uVoice)) {
        Fail(Text("voice %u is heard at %g of its object's volume, not %g", uVoice, double{fShare},
                  double{m_voices[uVoice]->fVolume / LoudestAt(uFrame, uVoice)}));
    }
    // All of a voice's frame on one object, shared with exactly the voices at its position.
    if (voice.uObject == 0) {
        voice.uObject = in_object.objectId;
        for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
            const FrameVoice& other = m_frames[uFrame].voices[uId];
            if (uId != uVoice && other.uObject != 0 &&
                (other.uObject == voice.uObject) != Together(uFrame, uVoice, uId)) {
                Fail(Text("voices %u and %u in frame %u: %s", uVoice, uId, uFrame,
                          other.uObject == voice.uObject ? "one object at two positions"
                                                         : "two objects at one position"));
            }
        }
    } else if (voice.uObject != in_object.objectId) {
        Fail(Text("voice %u's frame %u is on two objects", uVoice, uFrame));
    }
    auto it = io_firstFrames.find(uVoice);
    if (it == io_firstFrames.end() || uFrame < it->second) {
        io_firstFrames[uVoice] = uFrame;
    }
}

// ---- Frames whose samples must all have been heard ----

uint64_t VoiceSoak::MissedPasses(uint64_t in_uStream) const {
    for (const standin::StreamStats& stream : standin::Streams()) {
        if (stream.streamId == in_uStream) {
            return stream.missedPasses;
        }
    }
    return 0;
}

void VoiceSoak::CompleteFrames(bool in_bAll) {
    const size_t uEnd =
        in_bAll ? m_frames.size()
                : (m_frames.size() > m_uLateFrames ? m_frames.size() - m_uLateFrames : 0);
    for (size_t uFrame = 0; uFrame < uEnd; ++uFrame) {
        if (!m_frames[uFrame].bChecked) {
            CompleteFrame(static_cast<uint32_t>(uFrame));
        }
    }
}

void VoiceSoak::CompleteFrame(uint32_t in_uFrame) {
    Frame& frame = m_frames[in_uFrame];
    frame.bChecked = true;
    const bool bStreamGone = frame.uStream != m_running.uId;
    const Frame* pBefore = in_uFrame > 0 ? &m_frames[in_uFrame - 1] : nullptr;
    const bool bComparable = pBefore != nullptr && !bStreamGone && frame.uStream != 0 &&
                             pBefore->uStream == frame.uStream && !frame.bBudgetDropped;
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        const FrameVoice& voice = frame.voices[uId];
        if (voice.eRoute != Route::Object) {
            continue;
        }
        const uint32_t uAll = (1u << voice.uPulses) - 1u;
        if (voice.uHeard != uAll) {
            uint32_t uMissing = 0;
            for (uint32_t uBits = uAll & ~uint32_t{voice.uHeard}; uBits != 0; uBits &= uBits - 1) {
                ++uMissing;
            }
            if (bStreamGone) {
                m_coverage.uSamplesLostAcrossLosses += uMissing;
            } else if (m_rig.bRealTime && MissedPasses(frame.uStream) != 0) {
                // A worker kept from its core past a pass leaves a period in every ring, and the
                // rings, which never catch up, overflow in the end: the machine's loss, not the
                // mixer's.
                m_coverage.uSamplesLostToMissedPasses += uMissing;
            } else {
                Fail(Text("voice %u's frame %u: pulses 0x%x of 0x%x heard", uId, in_uFrame,
                          voice.uHeard, uAll));
            }
            continue;
        }
        if (!bComparable || voice.bReconnected) {
            continue;
        }
        // A voice that plays on with the same company keeps its object.
        const FrameVoice& before = pBefore->voices[uId];
        if (before.eRoute != Route::Object || before.uObject == 0) {
            continue;
        }
        bool bSameCompany = true;
        for (uint32_t uOther = 1; uOther <= kVoiceCount && bSameCompany; ++uOther) {
            bSameCompany = Together(in_uFrame, uId, uOther) == Together(in_uFrame - 1, uId, uOther);
        }
        if (bSameCompany && voice.uObject != before.uObject) {
            Fail(Text("voice %u moved from object %llu to %llu in frame %u", uId,
                      static_cast<unsigned long long>(before.uObject),
                      static_cast<unsigned long long>(voice.uObject), in_uFrame));
        }
    }
    if (!bComparable) {
        return;
    }
    // Voices that shared an object and part: one of them keeps it, if any plays on an object.
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        const uint64_t uShared = pBefore->voices[uId].uObject;
        if (uShared == 0) {
            continue;
        }
        bool bShared = false;
        bool bOnObjects = false;
        bool bKept = false;
        for (uint32_t uOther = 1; uOther <= kVoiceCount; ++uOther) {
            if (pBefore->voices[uOther].uObject != uShared) {
                continue;
            }
            bShared = bShared || uOther != uId;
            const FrameVoice& now = frame.voices[uOther];
            bOnObjects = bOnObjects || (now.eRoute == Route::Object && !now.bReconnected);
            bKept = bKept || now.uObject == uShared;
        }
        if (bShared && bOnObjects && !bKept) {
            Fail(Text("the voices of object %llu parted in frame %u and none kept it",
                      static_cast<unsigned long long>(uShared), in_uFrame));
        }
    }
}

void VoiceSoak::Finish() {
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        m_voices[uId]->pVoice->SetPlaying(false);
    }
    // The objects play out what they hold. At the renderer's real pace a loss may still be under
    // way (a loaded machine keeps the worker or the activation from a core for a while): the
    // engine runs on, up to about five more seconds, until the stream is back.
    const uint32_t uMostFrames =
        m_uLateFrames + (m_rig.bRealTime ? 5u * kSampleRate / kSoakFrames : 0u);
    for (uint32_t i = 0; i < m_uLateFrames || (m_bInLoss && i < uMostFrames); ++i) {
        RunOneFrame();
        if (m_rig.bRealTime) {
            std::this_thread::sleep_for(
                std::chrono::microseconds(1000000 * kSoakFrames / kSampleRate));
        }
        Pace();
    }
    CompleteFrames(true);
    const size_t uNotices = m_uNoticesExpected + (m_bInLoss && m_rig.bDesktop ? 1u : 0u);
    if (!m_rig.bRealTime && m_rig.context.MonitorLog().MessageCount() != uNotices) {
        Fail(Text("%zu notices at the end, not %zu", m_rig.context.MonitorLog().MessageCount(),
                  uNotices));
    }
    m_rig.driver.RemoveAllVoices();
    for (uint32_t uId = 1; uId <= kVoiceCount; ++uId) {
        if (m_voices[uId]->pAttachment != nullptr) {
            m_voices[uId]->pAttachment->TermParameters(&m_rig.allocator);
            m_voices[uId]->pAttachment = nullptr;
        }
    }
}

}  // namespace mixer_tests
