#include "ListenerMixThread.h"

#include <algorithm>
#include <iterator>

namespace scene {

ListenerMixThread::ListenerMixThread(PassRenderer& io_renderer, bool in_bOwnThread,
                                     size_t in_uMaxBatches)
    : m_rRenderer(io_renderer),
      m_uMaxBatches(in_uMaxBatches == 0 ? 1 : in_uMaxBatches),
      // Never more than the queue holds, or a producer waiting for room would never wake it.
      m_uWakeBatches(std::min(kWakeBatches, m_uMaxBatches)) {
    if (in_bOwnThread) {
        m_thread = std::thread(&ListenerMixThread::MixLoop, this);
    }
}

ListenerMixThread::~ListenerMixThread() {
    Finish();
}

bool ListenerMixThread::Add(uint64_t in_uFrame, std::vector<standin::Pass> in_passes,
                            std::chrono::milliseconds in_timeout) {
    if (!m_thread.joinable()) {
        m_rRenderer.AddPasses(in_uFrame, in_passes);
        standin::RecyclePasses(in_passes);
        return true;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_mixed.wait_for(lock, in_timeout, [&]() { return m_batches.size() < m_uMaxBatches; })) {
        ++m_uDropped;
        return false;
    }
    // The mix thread waits only on an empty queue, and is woken once a few batches have come:
    // waking it for every batch would cost a system call and a switch of threads per renderer
    // pass, more than mixing the pass.
    m_batches.emplace_back(in_uFrame, std::move(in_passes));
    const bool bWake = m_bMixerWaiting && m_batches.size() >= m_uWakeBatches;
    if (bWake) {
        m_bMixerWaiting = false;
    }
    lock.unlock();
    if (bWake) {
        m_queued.notify_one();
    }
    return true;
}

void ListenerMixThread::Finish() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bFinishing = true;
    }
    m_queued.notify_one();
    m_thread.join();
}

uint64_t ListenerMixThread::DroppedBatches() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uDropped;
}

void ListenerMixThread::MixLoop() {
    // The mixed passes' buffers go back to the renderer, off this lock, for the passes to come (a
    // captured pass then copies its samples without allocating); a few batches' at a time, as
    // the renderer's lock is the one the render workers take for every call, and before any wait,
    // so that nothing is held back while the queue is empty.
    std::vector<standin::Pass> mixed;
    mixed.reserve(kRecycleBatches * 4);
    size_t uMixedBatches = 0;
    const auto giveBack = [&]() {
        standin::RecyclePasses(mixed);
        uMixedBatches = 0;
    };
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_batches.empty() && uMixedBatches > 0) {
            lock.unlock();
            giveBack();
            lock.lock();
        }
        while (m_batches.empty() && !m_bFinishing) {
            m_bMixerWaiting = true;
            m_queued.wait(lock);
        }
        m_bMixerWaiting = false;
        if (m_batches.empty()) {
            return;  // finishing, and everything queued is mixed
        }
        std::pair<uint64_t, std::vector<standin::Pass>> batch = std::move(m_batches.front());
        // The producer waits only on a full queue.
        const bool bWasFull = m_batches.size() >= m_uMaxBatches;
        m_batches.pop_front();
        lock.unlock();
        if (bWasFull) {
            m_mixed.notify_one();
        }
        m_rRenderer.AddPasses(batch.first, batch.second);
        std::move(batch.second.begin(), batch.second.end(), std::back_inserter(mixed));
        if (++uMixedBatches >= kRecycleBatches) {
            giveBack();
        }
        lock.lock();
    }
}

}  // namespace scene
