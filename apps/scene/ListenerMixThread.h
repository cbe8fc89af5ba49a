// Runs the listener mix (a PassRenderer) on a thread of its own, so that the player's audio thread
// goes on with the next host frames and renderer passes while the last passes are mixed and
// convolved. The renderer gets the same calls with the same passes in the same order as when the
// player calls it itself, so the files come out the same bit for bit.
//
// The queue holds at most a bounded number of batches, those the mix thread has taken and not yet
// mixed included: a player that runs ahead of the mix waits for room (a bounded wait per batch,
// which only a stalled mix thread would reach). A mix thread that found the queue empty is woken
// only once several batches wait, or at Finish. It takes up to several batches under one lock,
// so that the lock (whose line the two threads' processors pass between them) changes hands
// seldom.
//
// Threads: Start, Add and Finish come from one thread, the producer (the player's audio thread);
// the mix thread is the only one that touches the renderer between Start and Finish, and the
// producer may use it again once Finish has returned (the join orders the two). The queue, the
// stop flag and the error are guarded by m_mutex; there are no atomics.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PassRenderer.h"

namespace scene {

class ListenerMixThread {
public:
    static constexpr size_t kDefaultMaxBatches = 64;
    // Batches queued before a waiting mix thread is woken (fewer while the queue is shorter).
    static constexpr size_t kWakeBatches = 8;
    // The most batches the mix thread takes at a time; their buffers go back to the renderer
    // together once they are mixed.
    static constexpr size_t kTakeBatches = 8;

    // in_bOwnThread false: Add mixes on the caller's thread at once (the same calls, unqueued).
    ListenerMixThread(PassRenderer& io_renderer, bool in_bOwnThread,
                      size_t in_uMaxBatches = kDefaultMaxBatches);
    // Finishes if Finish was not called (the mix of what was queued is completed, not dropped).
    ~ListenerMixThread();
    ListenerMixThread(const ListenerMixThread&) = delete;
    ListenerMixThread& operator=(const ListenerMixThread&) = delete;

    // The passes that play from output frame in_uFrame on (PassRenderer::AddPasses). False when
    // the mix thread did not take the batch within in_timeout (it is then dropped and counted).
    bool Add(uint64_t in_uFrame, std::vector<standin::Pass> in_passes,
             std::chrono::milliseconds in_timeout = std::chrono::seconds(10));
    // Waits until every queued batch is mixed and ends the thread.
    void Finish();

    // Batches that could not be queued in time (see Add).
    uint64_t DroppedBatches() const;

private:
    void MixLoop();

    PassRenderer& m_rRenderer;
    const size_t m_uMaxBatches;
    const size_t m_uWakeBatches;
    mutable std::mutex m_mutex;
    std::condition_variable m_queued;  // a batch arrived, or the thread must finish
    std::condition_variable m_mixed;   // a batch left the queue
    std::deque<std::pair<uint64_t, std::vector<standin::Pass>>> m_batches;
    bool m_bFinishing = false;
    bool m_bMixerWaiting = false;  // the mix thread waits for batches (on m_queued)
    size_t m_uTaken = 0;           // batches the mix thread has taken off the queue, not mixed yet
    uint64_t m_uDropped = 0;
    std::thread m_thread;  // not joinable when mixing on the caller's thread, or after Finish
};

}  // namespace scene
