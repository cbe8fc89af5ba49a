// What the sink's and the effect's transition soaks share: a seeded choice of what goes wrong in
// each cycle, doing it to the stand-in renderer and undoing it, and the audit of every pass the
// renderer played against a signal that names its channel and its frame.
//
// A cycle's fault is one of: the renderer stops asking for passes; its passes fail to begin with
// one of the documented codes (and it goes on asking, as Wine's does); the endpoint is removed; an
// object fails at GetBuffer (the renderer ends it) and its new activation fails a few times.
// Device faults last until the plug-in's re-opens have failed a chosen number of times (0 to 3),
// then a working endpoint returns; some come with failing object activations in the re-opened
// stream too.
//
// Threads: the test's thread only.
#pragma once

#include <gtest/gtest.h>

#include <audioclient.h>
#include <spatialaudioclient.h>

#include <stdint.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "standin/Control.h"
#include "standin/Renderer.h"

namespace testing_support {

enum class RendererFault { EventStops, BeginFails, EndpointRemoved, ObjectsFail };

struct CycleFault {
    RendererFault eKind = RendererFault::EventStops;
    HRESULT hr = S_OK;                 // what Begin, or the failing object calls, answer
    uint32_t uFailedReopens = 0;       // device faults: re-opens that fail before it returns
    uint32_t uBufferFailures = 0;      // GetBuffer calls that fail (from a random call on)
    uint32_t uActivationFailures = 0;  // object activations that fail after that
};

// The codes a pass may fail to begin with.
constexpr HRESULT kBeginFailures[] = {SPTLAUDCLNT_E_DESTROYED, AUDCLNT_E_DEVICE_INVALIDATED,
                                      AUDCLNT_E_RESOURCES_INVALIDATED, SPTLAUDCLNT_E_INTERNAL,
                                      AUDCLNT_E_UNSUPPORTED_FORMAT};

inline std::string Describe(const CycleFault& in_fault) {
    static const char* const kNames[] = {"the renderer stops asking", "passes fail to begin",
                                         "the endpoint is removed", "objects fail"};
    char szHr[16];
    snprintf(szHr, sizeof(szHr), "0x%08X", static_cast<unsigned>(in_fault.hr));
    return std::string(kNames[static_cast<int>(in_fault.eKind)]) + " (" + szHr + ", " +
           std::to_string(in_fault.uFailedReopens) + " failed re-opens, " +
           std::to_string(in_fault.uBufferFailures) + " buffer and " +
           std::to_string(in_fault.uActivationFailures) + " activation failures)";
}

// The channel of a 7.1.4 host buffer (the host stores the low-frequency channel last) that each
// bed object plays: the sink's twelve-channel layout and the effect's twelve-channel bus alike.
inline std::map<AudioObjectType, uint32_t> SevenOneFourBedChannels() {
    return {{AudioObjectType_FrontLeft, 0},    {AudioObjectType_FrontRight, 1},
            {AudioObjectType_FrontCenter, 2},  {AudioObjectType_LowFrequency, 11},
            {AudioObjectType_BackLeft, 3},     {AudioObjectType_BackRight, 4},
            {AudioObjectType_SideLeft, 5},     {AudioObjectType_SideRight, 6},
            {AudioObjectType_TopFrontLeft, 7}, {AudioObjectType_TopFrontRight, 8},
            {AudioObjectType_TopBackLeft, 9},  {AudioObjectType_TopBackRight, 10}};
}

// A plug-in's retry interval after its k-th failed re-open in a row: one second, doubling, at
// most eight.
inline uint64_t RetryIntervalMs(uint32_t in_uFailures) {
    uint64_t uInterval = 1000;
    for (uint32_t i = 1; i < in_uFailures && uInterval < 8000; ++i) {
        uInterval *= 2;
    }
    return uInterval < 8000 ? uInterval : 8000;
}

// A soak's seed or cycle count from the environment (ZV_SOAK_SEED, ZV_SOAK_CYCLES), else the
// test's own.
inline uint32_t FromEnvironment(const char* in_pszName, uint32_t in_uDefault) {
    const char* pszValue = getenv(in_pszName);
    return pszValue != nullptr ? static_cast<uint32_t>(strtoul(pszValue, nullptr, 0)) : in_uDefault;
}

class SoakRandom {
public:
    explicit SoakRandom(uint32_t in_uSeed) : m_engine(in_uSeed) {}

    uint32_t Between(uint32_t in_uLow, uint32_t in_uHigh) {
        return std::uniform_int_distribution<uint32_t>(in_uLow, in_uHigh)(m_engine);
    }

    CycleFault NextFault() {
        CycleFault fault;
        fault.eKind = static_cast<RendererFault>(Between(0, 3));
        fault.hr = kBeginFailures[Between(0, 4)];
        if (fault.eKind == RendererFault::ObjectsFail) {
            fault.uBufferFailures = Between(1, 3);
            fault.uActivationFailures = Between(0, 3);
        } else {
            fault.uFailedReopens = Between(0, 3);
            fault.uActivationFailures = Between(0, 3) == 0 ? Between(1, 3) : 0;
        }
        return fault;
    }

private:
    std::mt19937 m_engine;
};

// Does a device fault to the stand-in: the default endpoint's device is lost (or removed too).
inline void LoseDevice(const CycleFault& in_fault) {
    if (in_fault.eKind == RendererFault::BeginFails) {
        standin::LoseDevice(in_fault.hr, standin::LostSignalling::Continues);
    } else {
        standin::LoseDevice(AUDCLNT_E_DEVICE_INVALIDATED, standin::LostSignalling::Stops);
    }
    if (in_fault.eKind == RendererFault::EndpointRemoved) {
        standin::RemoveDefaultEndpoint();
    }
}

// The object calls of a fault fail from now on: GetBuffer from its in_uNth call on, then the
// activations that follow.
inline void FailObjects(const CycleFault& in_fault, uint32_t in_uNth) {
    if (in_fault.uBufferFailures > 0) {
        standin::FailCall("ISpatialAudioObjectBase::GetBuffer", in_uNth, in_fault.hr,
                          in_fault.uBufferFailures);
    }
    if (in_fault.uActivationFailures > 0) {
        standin::FailCall("ISpatialAudioObjectRenderStream::ActivateSpatialAudioObject", 1,
                          in_fault.hr, in_fault.uActivationFailures);
    }
}

// A working endpoint is the default again, and nothing fails any more.
inline void ReturnDevice() {
    standin::ClearFaults();
    standin::SetDefaultEndpoint(standin::EndpointConfig());
}

// Holds every pass against the signal: a sample is silence or names its channel and its frame
// (Decode, frames counted modulo in_uFrameModulus); each bed object type must carry its own
// channel; a sample is at most in_uMaxAge frames older than what has been written so far (never
// from the future, never from longer ago than a ring holds); and a stream opened after a loss
// plays nothing written before it.
class PassAudit {
public:
    typedef bool (*Decoder)(float in_fSample, uint32_t& out_uChannel, uint64_t& out_uFrame);

    PassAudit(std::map<AudioObjectType, uint32_t> in_channels, Decoder in_pfnDecode,
              uint64_t in_uFrameModulus, uint64_t in_uMaxAge)
        : m_channels(std::move(in_channels)),
          m_pfnDecode(in_pfnDecode),
          m_uModulus(in_uFrameModulus),
          m_uMaxAge(in_uMaxAge) {}

    void SetMaxAge(uint64_t in_uMaxAge) { m_uMaxAge = in_uMaxAge; }

    // The renderer loses the stream now; in_uWritten frames have been written so far.
    void Loss(uint64_t in_uWritten) { m_uLossFrame = in_uWritten; }

    struct Result {
        bool bSound = false;        // some object played the signal
        bool bEveryObject = false;  // every object of the map was there and played it
        std::string failure;        // empty when the pass held
    };

    // in_uWritten: the frames written so far.
    Result Check(const standin::Pass& in_pass, uint64_t in_uWritten) {
        Result result;
        auto known = m_streamFloor.find(in_pass.streamId);
        if (known == m_streamFloor.end()) {
            known = m_streamFloor.emplace(in_pass.streamId, m_uLossFrame).first;
        }
        const uint64_t uFloor = known->second;
        size_t uPlaying = 0;
        for (const standin::ObjectPass& object : in_pass.objects) {
            const auto channel = m_channels.find(object.type);
            bool bPlays = false;
            for (size_t i = 0; i < object.samples.size() && result.failure.empty(); ++i) {
                const float fSample = object.samples[i];
                if (fSample == 0.0f) {
                    continue;
                }
                uint32_t uChannel = 0;
                uint64_t uFrame = 0;
                if (channel == m_channels.end() || !m_pfnDecode(fSample, uChannel, uFrame) ||
                    uChannel != channel->second) {
                    result.failure = "object type " + std::to_string(object.type) + " played " +
                                     std::to_string(fSample);
                    break;
                }
                const uint64_t uAge = (in_uWritten % m_uModulus + m_uModulus - uFrame) % m_uModulus;
                if (uAge == 0 || uAge > m_uMaxAge || in_uWritten < uAge) {
                    result.failure = "stream " + std::to_string(in_pass.streamId) +
                                     " played frame " + std::to_string(uFrame) + " when " +
                                     std::to_string(in_uWritten) + " were written";
                } else if (in_uWritten - uAge < uFloor) {
                    result.failure = "stream " + std::to_string(in_pass.streamId) +
                                     " played frame " + std::to_string(in_uWritten - uAge) +
                                     ", written before the loss at " + std::to_string(uFloor);
                }
                bPlays = true;
            }
            uPlaying += bPlays ? 1 : 0;
        }
        result.bSound = uPlaying > 0;
        result.bEveryObject = uPlaying == m_channels.size();
        return result;
    }

private:
    const std::map<AudioObjectType, uint32_t> m_channels;
    const Decoder m_pfnDecode;
    const uint64_t m_uModulus;
    uint64_t m_uMaxAge;
    uint64_t m_uLossFrame = 0;
    std::map<uint64_t, uint64_t> m_streamFloor;  // stream id: the first frame it may play
};

// The cycles of a plug-in's soak: steady playing, then one fault, until the plug-in has come
// through it. Derived (the plug-in's fixture) provides
//   bool Period();                   one period (stepped: one renderer step; in real time, 10 ms
//                                    of the clock) with the plug-in's own invariants; it hands the
//                                    passes to AuditPasses
//   uint32_t FailedReopens() const;  the plug-in's failed re-opens so far
//   uint64_t AudioTimeMs() const;    the plug-in's audio time
//   uint64_t FramesWritten() const;  the frames of the signal handed to the plug-in so far
// and, before its first period, the audit and, in m_uNoticeMs, how long the plug-in takes to
// notice a silent renderer. The checks of time (a period's wait, sound back within the retry
// interval) are made in stepped runs only; in real time a device stays away for at most one
// failed re-open, so that a run takes seconds.
template <typename Derived>
class SoakCycles {
protected:
    SoakCycles(std::map<AudioObjectType, uint32_t> in_channels, PassAudit::Decoder in_pfnDecode,
               uint64_t in_uFrameModulus, uint64_t in_uMaxAge, uint64_t in_uNoticeMs)
        : m_audit(std::move(in_channels), in_pfnDecode, in_uFrameModulus, in_uMaxAge),
          m_uNoticeMs(in_uNoticeMs) {}

    // Runs in_uCycles cycles of the seed from ZV_SOAK_SEED (else in_uSeed), stepped or in real
    // time; in real time, until in_wallTime has passed too, with in_uRealTimeMaxAge as the
    // audit's bound (it also covers what was handed over between a pass and its audit).
    void Soak(uint32_t in_uSeed, uint32_t in_uCycles, bool in_bRealTime,
              std::chrono::seconds in_wallTime = std::chrono::seconds(0),
              uint64_t in_uRealTimeMaxAge = 0) {
        m_bRealTime = in_bRealTime;
        m_start = std::chrono::steady_clock::now();
        if (m_bRealTime) {
            standin::SetPacing(standin::Pacing::RealTime);
            m_audit.SetMaxAge(in_uRealTimeMaxAge);
        }
        m_uSeed = FromEnvironment("ZV_SOAK_SEED", in_uSeed);
        const uint32_t uCycles = FromEnvironment("ZV_SOAK_CYCLES", in_uCycles);
        SoakRandom random(m_uSeed);
        for (m_uCycle = 1;
             m_uCycle <= uCycles || std::chrono::steady_clock::now() - m_start < in_wallTime;
             ++m_uCycle) {
            if (!Cycle(random)) {
                return;
            }
        }
        printf("seed %u: %u cycles, %llu s of audio, %u failed re-opens, %zu streams\n", m_uSeed,
               m_uCycle - 1, static_cast<unsigned long long>(Self().AudioTimeMs() / 1000),
               Self().FailedReopens(), standin::StreamActivations().size());
    }

    // Holds the passes played since the last call against the signal; out_rbHeard: one of them
    // played it. False (with the failure recorded) when one broke an invariant.
    bool AuditPasses(bool& out_rbHeard) {
        out_rbHeard = false;
        for (const standin::Pass& pass : standin::TakePasses()) {
            const PassAudit::Result result = m_audit.Check(pass, Self().FramesWritten());
            if (!result.failure.empty()) {
                return Fail(result.failure);
            }
            if (result.bSound) {
                m_uSoundStream = pass.streamId;
                out_rbHeard = true;
            }
            m_bEveryObject = result.bEveryObject;
        }
        return true;
    }

    bool Fail(const std::string& in_what) {
        ADD_FAILURE() << in_what << " (seed " << m_uSeed << ", cycle " << m_uCycle << ": "
                      << Describe(m_fault) << ", audio time " << Self().AudioTimeMs() << " ms)";
        return false;
    }

    PassAudit m_audit;
    bool m_bRealTime = false;
    std::chrono::steady_clock::time_point m_start;
    uint32_t m_uCycle = 0;

private:
    Derived& Self() { return static_cast<Derived&>(*this); }

    // Periods until in_done holds, at most in_uLimit of them.
    template <typename Done>
    bool PeriodsUntil(Done in_done, uint32_t in_uLimit, const char* in_pszWhat) {
        for (uint32_t i = 0; !in_done(); ++i) {
            if (i == in_uLimit) {
                return Fail(std::string("never ") + in_pszWhat);
            }
            if (!Self().Period()) {
                return false;
            }
        }
        return true;
    }

    bool Cycle(SoakRandom& io_random) {
        // Steady playing: every channel reaches its object from the third period on (in real
        // time, where the ring may run short now and then, in some period).
        const uint32_t uSteady = io_random.Between(3, 8);
        bool bEverySeen = false;
        m_bEveryObject = false;
        for (uint32_t i = 0; i < uSteady; ++i) {
            if (!Self().Period()) {
                return false;
            }
            bEverySeen = bEverySeen || m_bEveryObject;
            if (i >= 2 && !m_bEveryObject && !m_bRealTime) {
                return Fail("a channel did not reach its object in steady playing");
            }
        }
        if (!bEverySeen) {
            return Fail("no channel reached its object in steady playing");
        }

        m_fault = io_random.NextFault();
        m_bEveryObject = false;
        if (m_bRealTime && m_fault.uFailedReopens > 1) {
            m_fault.uFailedReopens = 1;
        }
        if (m_fault.eKind == RendererFault::ObjectsFail) {
            FailObjects(m_fault, io_random.Between(1, 12));
            // The failures come within the next two passes; each failed object is activated
            // anew on a later pass (objects that keep failing may lose the stream, which comes
            // back), and meanwhile the others play.
            if (!Self().Period() || !Self().Period() ||
                !PeriodsUntil([&]() { return m_bEveryObject; }, 40,
                              "had every object back after object faults")) {
                return false;
            }
            standin::ClearFaults();
            return true;
        }

        // A device fault: the re-opens fail uFailedReopens times while the device is away.
        const uint64_t uLostStream = m_uSoundStream;
        const uint32_t uFailuresBefore = Self().FailedReopens();
        m_audit.Loss(Self().FramesWritten());
        LoseDevice(m_fault);
        if (m_fault.uFailedReopens > 0 && !PeriodsUntil(
                                              [&]() {
                                                  return Self().FailedReopens() - uFailuresBefore >=
                                                         m_fault.uFailedReopens;
                                              },
                                              2000, "failed the re-opens")) {
            return false;
        }
        ReturnDevice();
        if (m_fault.uActivationFailures > 0) {
            FailObjects(m_fault, 1);
        }
        // Sound is back within the retry interval that runs when the device returns (without a
        // failed re-open: once the loss is noticed), and two periods.
        const uint64_t uReturned = Self().AudioTimeMs();
        if (!PeriodsUntil([&]() { return m_uSoundStream > uLostStream; }, 2000, "had sound back")) {
            return false;
        }
        const uint64_t uAllowed =
            (m_fault.uFailedReopens > 0 ? RetryIntervalMs(m_fault.uFailedReopens) : m_uNoticeMs) +
            20;
        if (!m_bRealTime && Self().AudioTimeMs() - uReturned > uAllowed) {
            return Fail("sound came back " + std::to_string(Self().AudioTimeMs() - uReturned) +
                        " ms after the device");
        }
        standin::ClearFaults();
        return true;
    }

    const uint64_t m_uNoticeMs;
    uint32_t m_uSeed = 0;
    CycleFault m_fault;
    uint64_t m_uSoundStream = 0;  // the latest stream that played the signal
    bool m_bEveryObject = false;  // the latest pass had every object play the signal
};

}  // namespace testing_support
