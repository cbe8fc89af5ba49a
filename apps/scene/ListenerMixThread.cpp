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
    if (!m_mixed.wait_for(lock, in_timeout,
                          [&]() { return m_batches.size() + m_uTaken < m_uMaxBatches; })) {
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
    // Up to kTakeBatches batches are taken under one lock and mixed off it; then their passes'
    // buffers go back to the renderer together, off this lock too, for the passes to come (a
    // captured pass then copies its samples without allocating): the renderer's lock is the one
    // the render workers take for every call.
    std::vector<std::pair<uint64_t, std::vector<standin::Pass>>> taken;
    taken.reserve(kTakeBatches);
    std::vector<standin::Pass> mixed;
    mixed.reserve(kTakeBatches * 4);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        while (m_batches.empty() && !m_bFinishing) {
            m_bMixerWaiting = true;
            m_queued.wait(lock);
        }
        m_bMixerWaiting = false;
        if (m_batches.empty()) {
            return;  // finishing, and everything queued is mixed
        }
        const size_t uTake = std::min(kTakeBatches, m_batches.size());
        for (size_t uBatch = 0; uBatch < uTake; ++uBatch) {
            taken.push_back(std::move(m_batches.front()));
            m_batches.pop_front();
        }
        m_uTaken = uTake;
        lock.unlock();
        for (auto& batch : taken) {
            m_rRenderer.AddPasses(batch.first, batch.second);
            std::move(batch.second.begin(), batch.second.end(), std::back_inserter(mixed));
        }
        taken.clear();
        standin::RecyclePasses(mixed);
        lock.lock();
        // The producer waits only on a full queue.
        const bool bWasFull = m_batches.size() + m_uTaken >= m_uMaxBatches;
        m_uTaken = 0;
        if (bWasFull) {
            lock.unlock();
            m_mixed.notify_one();
            lock.lock();
        }
    }
}

}  // namespace scene
