// A seeded soak of the mixer through the transitions of a game: voices that start, stop,
// reconnect, change call order, meet at one position and part, cross MaxObjects and the grant,
// switch BypassLocal, while the renderer is lost, fails re-activations and returns with another
// period and grant. Every voice carries its own signal, so that every sample that reaches the bus
// or an object tells whose it is and which one it is; after every frame the soak checks what
// arrived against what the voices played:
//
// - the bus is exactly the voices of the bed route (their low-frequency channels included) and
//   the low-frequency channels of the voices on objects, as the host mixes them;
// - every sample of a voice on the object route is heard exactly once, on the stream that was
//   running when it was played, within a few frames (samples in flight when a stream is lost may
//   be lost; none is heard later);
// - voices at one position share one object and are each heard at their own volume; a voice that
//   keeps playing, with the same company, keeps its object; when voices part, one keeps it; an
//   object carries only voices that were at its position, and a voice's first samples on an
//   object follow a pass that was already at that voice's place;
// - the counters describe the frame; lost objects are tried again on the schedule, and the
//   desktop build posts one notice when they go and one when they are back.
//
// Signals. Voice v (1 to 63) plays a pulse at every engine sample time T (frame x frames per
// buffer + frame offset) with T % 64 == v and silence elsewhere, so no two voices ever sound at
// one sample time and every sum the mixer or the host makes holds one voice per sample. A
// pulse's value encodes T: mono channels +(2^20 + T % 2^20) / 2^21, the two channels of a stereo
// voice the negative of that, a low-frequency channel a quarter of it. An object sample is such a
// value times the voice's downmix gain (1 or 2 x 0.7) and its share of the object's volume (a
// power of two: every volume in the soak is one), so it decodes exactly.
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "HostAllocator.h"
#include "MixerTestSupport.h"
#include "HostGlobalContext.h"
#include "HostMixerContext.h"
#include "MixerBusDriver.h"
#include "SpatialMixerFX.h"
#include "SpatialMixerFXParams.h"
#include "standin/Renderer.h"

namespace mixer_tests {

// What the soak drives: a mixer initialised for a 5.1 bus of kSoakFrames per buffer at 48 kHz
// with a MaxObjects of 32, its parameter object, context and bus driver (no voices yet).
struct SoakRig {
    SpatialMixerFX& mixer;
    SpatialMixerFXParams& params;
    host::HostMixerContext& context;
    host::MixerBusDriver& driver;
    host::HostAllocator& allocator;
    bool bDesktop;
    bool bRealTime;
};

constexpr uint16_t kSoakFrames = 512;
constexpr uint32_t kSoakOutputMask = 0x3F;  // 5.1, the low-frequency channel stored last

// How much of each transition a run went through, for the test to hold against what it asked.
struct SoakCoverage {
    uint32_t uFrames = 0;
    uint32_t uLosses = 0;
    uint32_t uFailedAttempts = 0;
    uint32_t uReturns = 0;  // losses after which the objects came back
    uint32_t uMeetings = 0;
    uint32_t uPartings = 0;
    uint32_t uStarts = 0;
    uint32_t uStops = 0;
    uint32_t uReconnects = 0;
    uint32_t uBypassLocalSwitches = 0;
    uint32_t uFramesOverBudget = 0;   // more voices wanted an object than the budget allowed
    uint32_t uFramesUnderBudget = 0;  // fewer
    uint32_t uSharedObjectFrames = 0;
    uint64_t uObjectSamplesHeard = 0;
    uint64_t uSamplesLostAcrossLosses = 0;
    uint64_t uSamplesLostToMissedPasses = 0;  // at the real pace only

    // One line for the test's output.
    std::string Summary() const;
};

class VoiceSoak {
public:
    VoiceSoak(const SoakRig& in_rig, uint32_t in_uSeed);
    ~VoiceSoak();
    VoiceSoak(const VoiceSoak&) = delete;
    VoiceSoak& operator=(const VoiceSoak&) = delete;

    // Runs in_uFrames frames with the checks after each; stepped, or paced by the clock.
    void Run(uint32_t in_uFrames);
    // Stops every voice, lets the objects play out, checks that nothing is left unheard and
    // disconnects the voices (their attachments are terminated).
    void Finish();

    const SoakCoverage& Coverage() const { return m_coverage; }
    // The failures found so far, each with its frame (a test prints the seed with them).
    const std::vector<std::string>& Failures() const { return m_failures; }

private:
    enum class Route : uint8_t { None, Bed, Object };
    enum class LossKind { FailedPass, NewDevice, NoEndpointThenDevice };
    struct Voice;
    struct FrameVoice {
        Route eRoute = Route::None;
        bool bReconnected = false;
        float afPosition[3] = {};  // renderer coordinates of its ray
        uint64_t uObject = 0;      // the object its samples of the frame were heard on
        uint8_t uPulses = 0;
        uint8_t uHeard = 0;  // bit k: the k-th pulse of the frame was heard
    };
    struct Frame {
        uint64_t uStream = 0;  // the running stream the frame's objects went to, or 0
        bool bBudgetDropped = false;
        uint32_t uPlayingObjects = 0;  // the counters' first value (the posted record)
        bool bChecked = false;
        std::vector<FrameVoice> voices;  // by voice id
    };
    struct ObjectState {
        std::set<uint32_t> voices;  // every voice heard on it
        bool bHasPosition = false;
        float afPosition[3] = {};
    };
    struct PanState {
        bool bHasPanned = false;
        float fAzimuth = 0.0f;
    };
    struct RunningStream {
        uint64_t uId = 0;  // 0: the mixer runs on none
        uint32_t uGrant = 0;
    };
    struct Loss {
        uint32_t uFrame;
        LossKind eKind;
        uint32_t uFailures;
        standin::EndpointConfig next;
    };

    void Fail(const std::string& in_message);
    void ApplyScript();
    void MoveVoices();
    void InjectLoss(const Loss& in_loss);
    void FollowLoss();
    void RunOneFrame();
    void Settle();
    void Pace();
    void CheckBus(Frame& io_frame);
    void CheckCounters(Frame& io_frame, uint64_t in_uPostsBefore, StreamState in_eStateBefore);
    void CheckPass(const standin::Pass& in_pass);
    // Decodes one sample of an object and checks it; records the voice's earliest frame in the
    // pass in io_firstFrames.
    void CheckObjectSample(const standin::Pass& in_pass, const standin::ObjectPass& in_object,
                           float in_fSample, std::map<uint32_t, uint32_t>& io_firstFrames);
    void CompleteFrames(bool in_bAll);
    void CompleteFrame(uint32_t in_uFrame);
    // Whether the voice played at that place in any frame from in_uFrom to in_uTo.
    bool WasAt(uint32_t in_uVoice, const float* in_pPosition, uint32_t in_uFrom,
               uint32_t in_uTo) const;
    bool Together(uint32_t in_uFrame, uint32_t in_uA, uint32_t in_uB) const;
    float LoudestAt(uint32_t in_uFrame, uint32_t in_uVoice) const;
    // Signals of the stream that its client answered late (the renderer's count).
    uint64_t MissedPasses(uint64_t in_uStream) const;
    // The stream the mixer runs on now (m_running), from the renderer's record.
    void LookUpRunningStream();
    uint32_t AttemptCalls() const;

    SoakRig m_rig;
    std::mt19937 m_random;
    std::vector<std::unique_ptr<Voice>> m_voices;  // by voice id (0 unused)
    std::vector<Frame> m_frames;
    std::map<uint64_t, ObjectState> m_objects;
    std::vector<std::string> m_failures;
    SoakCoverage m_coverage;
    host::HostGlobalContext m_expectedMixer{kSoakFrames};
    std::vector<float> m_expected;
    std::vector<float> m_prevVolumes;
    std::vector<float> m_nextVolumes;
    std::vector<PanState> m_panBefore;  // each voice's context before the frame
    uint32_t m_uGroupsThisFrame = 0;    // positions of the voices on objects
    uint32_t m_uObjectVoicesThisFrame = 0;
    RunningStream m_running;
    uint32_t m_uPeriod = 480;  // frames per pass of the default endpoint
    std::vector<size_t> m_callOrder;
    int32_t m_iMaxObjects = 32;
    bool m_bBudgetDropping = false;  // MaxObjects went down before the next frame
    bool m_bBypass = false;

    // Losses and returns.
    std::vector<Loss> m_losses;
    size_t m_uNextLoss = 0;
    bool m_bInLoss = false;
    const Loss* m_pLoss = nullptr;
    uint32_t m_uAttempts = 0;               // since the loss
    std::vector<uint32_t> m_attemptFrames;  // the frames with attempts
    bool m_bEndpointBack = false;
    uint64_t m_uStreamBeforeLoss = 0;
    size_t m_uNoticesExpected = 0;

    // Stepped pacing: engine samples produced and renderer samples passed.
    uint64_t m_uProduced = 0;
    uint64_t m_uRendered = 0;
    uint32_t m_uLateFrames = 8;  // a sample on an object is heard within this many frames
};

// A mixer of the build on a stepped or a real-time renderer, driven by a VoiceSoak.
template <typename Build>
class VoiceSoakTest : public MixerTest<Build> {
protected:
    // Runs the soak and reports its failures with the seed; returns what it went through.
    SoakCoverage Soak(uint32_t in_uSeed, uint32_t in_uFrames, bool in_bRealTime) {
        if (in_bRealTime) {
            standin::SetPacing(standin::Pacing::RealTime);
        }
        SoakCoverage coverage;
        EXPECT_EQ(ZV_Success, this->Start(kSoakOutputMask, 32, false, kSoakFrames));
        if (this->m_pMixer == nullptr) {
            return coverage;
        }
        const SoakRig rig = {*this->m_pMixer,  *this->m_pParams,  *this->m_pContext,
                             *this->m_pDriver, this->m_allocator, Build::kDesktop,
                             in_bRealTime};
        VoiceSoak soak(rig, in_uSeed);
        soak.Run(in_uFrames);
        soak.Finish();
        for (const std::string& failure : soak.Failures()) {
            ADD_FAILURE() << "soak seed " << in_uSeed << ", " << failure;
        }
        return soak.Coverage();
    }
};

}  // namespace mixer_tests
