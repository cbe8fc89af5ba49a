#include "ReopenTiming.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "MarkerFiles.h"
#include "PlatformSetup.h"

namespace spatialhost {
namespace {

typedef std::chrono::steady_clock Clock;

constexpr auto kSteady = std::chrono::milliseconds(600);
constexpr auto kWithout = std::chrono::milliseconds(250);
constexpr auto kBack = std::chrono::milliseconds(1600);
constexpr auto kHarnessTimeout = std::chrono::seconds(10);

double Median(std::vector<double> in_values) {
    if (in_values.empty()) {
        return 0;
    }
    std::sort(in_values.begin(), in_values.end());
    return in_values[in_values.size() / 2];
}

double Longest(const std::vector<double>& in_values) {
    return in_values.empty() ? 0 : *std::max_element(in_values.begin(), in_values.end());
}

double Percentile99(std::vector<double> in_values) {
    if (in_values.empty()) {
        return 0;
    }
    std::sort(in_values.begin(), in_values.end());
    return in_values[in_values.size() * 99 / 100];
}

// One cycle at a time, moved on between frames by Tick.
class ReopenCycles {
public:
    ReopenCycles(EngineSession& io_session, uint32_t in_uCycles, const std::string& in_markers)
        : m_rSession(io_session), m_uCycles(in_uCycles), m_markers(in_markers) {
        m_rSession.TakeFrameTimes();
        Enter(Phase::Steady);
    }

    // Whether the run goes on.
    bool Tick() {
        const Clock::time_point now = Clock::now();
        switch (m_ePhase) {
            case Phase::Steady:
                if (now - m_phaseStart >= kSteady) {
                    const FrameTimes steady = m_rSession.TakeFrameTimes();
                    m_steadyFrames.insert(m_steadyFrames.end(), steady.frameMs.begin(),
                                          steady.frameMs.end());
                    Enter(LoseOutput() ? Phase::Without : Ask("lose", Phase::Losing));
                }
                return true;
            case Phase::Losing:
                return Await("lost", Phase::Without, now);
            case Phase::Without:
                if (now - m_phaseStart >= kWithout) {
                    Enter(RestoreOutput() ? Phase::Back : Ask("restore", Phase::Restoring));
                }
                return true;
            case Phase::Restoring:
                return Await("back", Phase::Back, now);
            case Phase::Back:
                if (now - m_phaseStart >= kBack) {
                    m_cycles.push_back(m_rSession.TakeFrameTimes());
                    if (m_cycles.size() == m_uCycles) {
                        return false;
                    }
                    Enter(Phase::Steady);
                }
                return true;
        }
        return false;
    }

    bool HarnessAnswered() const { return !m_bHarnessSilent; }

    void Print(std::FILE* io_pLog) const {
        std::vector<double> frames, sink, bus;
        for (size_t k = 0; k < m_cycles.size(); ++k) {
            const FrameTimes& cycle = m_cycles[k];
            std::fprintf(io_pLog,
                         "reopen cycle %zu: longest frame %.3f ms (sink %.3f ms, bus %.3f ms)\n",
                         k + 1, cycle.dLongestFrameMs, cycle.dLongestSinkMs, cycle.dLongestBusMs);
            frames.push_back(cycle.dLongestFrameMs);
            sink.push_back(cycle.dLongestSinkMs);
            bus.push_back(cycle.dLongestBusMs);
        }
        std::fprintf(io_pLog,
                     "reopen: %zu cycles; the frame that re-opens: worst %.3f ms, median %.3f ms; "
                     "the sink's calls in a frame: worst %.3f ms, median %.3f ms; the bus's: "
                     "worst %.3f ms, median %.3f ms; a steady frame: median %.3f ms, 99th "
                     "percentile %.3f ms, longest %.3f ms\n",
                     m_cycles.size(), Longest(frames), Median(frames), Longest(sink), Median(sink),
                     Longest(bus), Median(bus), Median(m_steadyFrames),
                     Percentile99(m_steadyFrames), Longest(m_steadyFrames));
    }

private:
    enum class Phase { Steady, Losing, Without, Restoring, Back };

    void Enter(Phase in_ePhase) {
        m_ePhase = in_ePhase;
        m_phaseStart = Clock::now();
    }
    std::string Marker(const char* in_pszName) const {
        return m_markers + "\\" + in_pszName + "-" + std::to_string(m_cycles.size() + 1);
    }
    // Asks the harness to act; the phase that waits for its answer.
    Phase Ask(const char* in_pszName, Phase in_eWaiting) {
        TouchFile(Marker(in_pszName));
        return in_eWaiting;
    }
    bool Await(const char* in_pszName, Phase in_eNext, Clock::time_point in_now) {
        if (FileExists(Marker(in_pszName))) {
            Enter(in_eNext);
            return true;
        }
        if (in_now - m_phaseStart >= kHarnessTimeout) {
            m_bHarnessSilent = true;
            return false;
        }
        return true;
    }

    EngineSession& m_rSession;
    const uint32_t m_uCycles;
    const std::string m_markers;
    Phase m_ePhase = Phase::Steady;
    Clock::time_point m_phaseStart;
    std::vector<FrameTimes> m_cycles;
    std::vector<double> m_steadyFrames;
    bool m_bHarnessSilent = false;
};

}  // namespace

bool MeasureReopens(EngineSession& io_session, uint32_t in_uCycles, const std::string& in_markers,
                    std::FILE* io_pLog) {
    ReopenCycles cycles(io_session, in_uCycles, in_markers);
    const ToneSchedule silence(0, 0, 0);
    io_session.Play(silence, [&]() { return cycles.Tick(); });
    if (!cycles.HarnessAnswered()) {
        std::fprintf(io_pLog, "reopen: the harness did not answer\n");
        return false;
    }
    cycles.Print(io_pLog);
    return true;
}

}  // namespace spatialhost
