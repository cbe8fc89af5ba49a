// The one timeline that every object record's ring follows, so that all of the mixer's objects play
// with one delay whatever the pacing: the host's buffers arrive in bursts as its output asks for
// them, of 64 to 4096 frames, and the renderer's passes take 120 to 4096 frames each.
//
// A position on the timeline is a frame of the mixer's output: FinishMix appends every host buffer
// at the written position (all records that play in that frame get the same frames), and each pass
// of the render worker plays one period from the read position for every record at once. A record
// whose voices start in the middle of the stream starts at the written position of their first
// frame (ObjectRecord::uStartFrame); a pass that reaches it before that plays silence up to it,
// so a new voice is heard exactly as late as every other, never early and never with a gap.
//
// Read rule. A pass that finds a whole period plays it; a pass never takes part of what is held
// and drops the rest. The delay (what the timeline holds when a pass begins) is set when the
// timeline starts: at the first pass that finds anything written, and again at a pass that finds
// less than a period (the host fell behind).
// - A host that fills its output before the output's first pass (it writes a period or more
//   before it) gives the mixer the same frames: the timeline plays them as they are, in step with
//   the output, so the objects are exactly as late as the bed that reaches the renderer through
//   the output, and a voice handed between the two routes is neither cut nor doubled. The delay
//   is then the output's, not the mixer's; only what the rings cannot hold with two host buffers
//   to spare (more than the largest period: a host that keeps a very deep output) is let go of,
//   the oldest frames, once at the start, so that no later buffer overruns.
// - With less than a period (a host that did not fill ahead, a stream opened again in mid-run,
//   or a host that fell behind), the timeline starts a period and a host buffer before the
//   written position: the pass plays silence up to the first frame held, then what is held. The
//   host writes a period between passes on average, give or take a host buffer (it writes whole
//   buffers), so with a buffer in hand no later pass finds less than a period as long as the
//   host keeps pace. This is the pre-roll; it never makes the host's frames wait for a pass.
// A pass that finds nothing at all (the host stopped) plays silence and leaves the timeline
// stopped. A host that keeps running frames without voices moves the timeline on all the same
// (FinishMix), so that what the records hold plays out in whole periods.
//
// Room. The rings hold the largest period the renderer hands out (kLargestPeriod, or a larger one
// met at InitPlugin) and four host buffers: the sink's output holds a period and up to two
// buffers (whole buffers, topped up while more than one is free), the host may write up to
// another buffer before a pass it is late for, and one more is the margin.
// A host buffer that would not fit is not written at all (an overrun): the timeline stays the same
// for every record.
//
// Threads. The audio thread owns the written position (an atomic: release store after the rings
// were written, acquire load by the worker) and reads the read position (acquire) to find the
// room. The render worker owns the read position (release store after a pass read the rings) and
// whether the timeline runs; the audio thread rewinds both only while the worker holds no stream
// (Reset, after a loss; the next cycle's borrow of the new stream orders it before the worker's
// next look). Positions are 32-bit frame counts that wrap; only differences are used.
#pragma once

#include <stdint.h>

#include <atomic>

class MixerTimeline {
public:
    // The longest renderer period the rings are sized for without knowing the renderer's: the
    // longest the renderer is documented to hand out.
    static constexpr uint32_t kLargestPeriod = 4096;

    // Audio thread, before the worker starts: the host's buffer length and the longest period
    // met so far (0: none); returns the frames each record's ring must hold.
    uint32_t Configure(uint32_t in_uHostFrames, uint32_t in_uPeriod) {
        m_uHostFrames = in_uHostFrames;
        const uint32_t uPeriod = in_uPeriod > kLargestPeriod ? in_uPeriod : kLargestPeriod;
        m_uCapacity = uPeriod + 4 * in_uHostFrames;
        return m_uCapacity;
    }
    // Whether passes of in_uPeriod frames can be played with the rings' room.
    bool Fits(uint32_t in_uPeriod) const { return in_uPeriod + 2 * m_uHostFrames <= m_uCapacity; }

    // ---- Audio thread ----

    // Where the next frame written goes.
    uint32_t Written() const { return m_uWritten.load(std::memory_order_relaxed); }
    // Whether in_uFrames more frames fit into every ring without losing unread ones.
    bool HasRoomFor(uint32_t in_uFrames) const {
        const int32_t iHeld =
            static_cast<int32_t>(Written() - m_uRead.load(std::memory_order_acquire));
        return int64_t{iHeld} + in_uFrames <= int64_t{m_uCapacity};
    }
    // After the frames were written into the rings.
    void Advance(uint32_t in_uFrames) {
        m_uWritten.store(Written() + in_uFrames, std::memory_order_release);
    }
    // Empty rings, nothing read: only while the worker holds no stream.
    void Reset() {
        m_uWritten.store(0, std::memory_order_relaxed);
        m_uRead.store(0, std::memory_order_relaxed);
        m_bRunning.store(false, std::memory_order_relaxed);
    }

    // ---- Render worker ----

    struct Pass {
        bool bPlays = false;     // every record plays its part of the period
        uint32_t uFrom = 0;      // the read position before the pass: the rings hold from there
        uint32_t uPosition = 0;  // the period's first frame: before uFrom, silence up to it;
                                 // after it, the frames up to it are let go of
        uint32_t uHeld = 0;      // frames written and not yet read before this pass
    };
    // What this pass of in_uPeriod frames does.
    Pass BeginPass(uint32_t in_uPeriod) {
        Pass pass;
        pass.uFrom = m_uRead.load(std::memory_order_relaxed);
        const uint32_t uWritten = m_uWritten.load(std::memory_order_acquire);
        const int32_t iHeld = static_cast<int32_t>(uWritten - pass.uFrom);
        pass.uHeld = iHeld > 0 ? static_cast<uint32_t>(iHeld) : 0u;
        pass.uPosition = pass.uFrom;
        if (pass.uHeld == 0) {
            m_bRunning.store(false, std::memory_order_relaxed);
            return pass;
        }
        if (pass.uHeld < in_uPeriod) {
            // The pre-roll: silence before the frames held, a host buffer in hand after.
            pass.uPosition = uWritten - (in_uPeriod + m_uHostFrames);
        } else if (!m_bRunning.load(std::memory_order_relaxed) &&
                   pass.uHeld > m_uCapacity - 2 * m_uHostFrames) {
            pass.uPosition = uWritten - (m_uCapacity - 2 * m_uHostFrames);
        }
        pass.bPlays = true;
        m_bRunning.store(true, std::memory_order_relaxed);
        return pass;
    }
    // After every record played its part of a pass that plays.
    void EndPass(const Pass& in_pass, uint32_t in_uPeriod) {
        if (in_pass.bPlays) {
            m_uRead.store(in_pass.uPosition + in_uPeriod, std::memory_order_release);
        }
    }

private:
    uint32_t m_uHostFrames = 0;
    uint32_t m_uCapacity = 0;
    std::atomic<uint32_t> m_uWritten{0};  // audio thread
    std::atomic<uint32_t> m_uRead{0};     // render worker; may lie before the first frame written
    std::atomic<bool> m_bRunning{false};  // render worker (relaxed; Reset: see Threads)
};
