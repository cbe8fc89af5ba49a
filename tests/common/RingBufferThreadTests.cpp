// One writer thread and one reader thread move a counted sequence through the ring. Each 8-byte
// frame carries a sequence number and its complement, so a frame torn between two writes shows.

#include <gtest/gtest.h>

#include <stdint.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "HostAllocatorTest.h"
#include "RingTestSupport.h"

namespace {

using ring_testing::HostRing;

struct Frame {
    uint32_t uSequence;
    uint32_t uCheck;  // ~uSequence
};
constexpr uint32_t kFrameBytes = sizeof(Frame);
constexpr uint32_t kFrames = 60000;
constexpr uint32_t kRingFrames = 24;

struct RunResult {
    std::string error;   // empty when every read was in order and untorn
    int64_t iLast = -1;  // the last sequence number read
    uint64_t uWriterAllocations = 0;
    uint64_t uReaderAllocations = 0;
};

// The writer writes kFrames frames in chunks of 1 to 11 frames; when in_bNothingLost it waits for
// room first, otherwise it overruns the reader. The reader reads chunks of 1 to 7 frames and, once
// the writer is done, drains the rest. Each read takes one stretch of the ring, which holds frames
// in the order written: its frames are consecutive, and its first one follows the last one read
// before (directly, when nothing may be lost). Both threads give up after a minute.
RunResult RunCountedSequence(CBuffer& io_ring, bool in_bNothingLost) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::atomic<bool> bWriterDone{false};  // release by the writer after its last write, acquire
    std::atomic<bool> bStop{false};        // relaxed: only ends the writer early
    RunResult result;

    std::thread writer([&]() {
        std::mt19937 random(1);
        std::vector<Frame> frames(11);
        const uint64_t uBefore = testing_support::ThreadAllocationCount();
        for (uint32_t uNext = 0; uNext < kFrames && !bStop.load(std::memory_order_relaxed);) {
            const uint32_t uCount =
                std::min(std::uniform_int_distribution<uint32_t>(1, 11)(random), kFrames - uNext);
            if (in_bNothingLost && io_ring.BytesFree() < uCount * kFrameBytes) {
                std::this_thread::yield();
                continue;
            }
            for (uint32_t i = 0; i < uCount; ++i) {
                frames[i] = Frame{uNext + i, ~(uNext + i)};
            }
            io_ring.Write(uCount * kFrameBytes, frames.data());
            uNext += uCount;
        }
        result.uWriterAllocations = testing_support::ThreadAllocationCount() - uBefore;
        bWriterDone.store(true, std::memory_order_release);
    });

    std::mt19937 random(2);
    std::vector<Frame> frames(kRingFrames);
    const uint64_t uBefore = testing_support::ThreadAllocationCount();
    for (bool bDone = false; !bDone && result.error.empty();) {
        bDone = bWriterDone.load(std::memory_order_acquire);
        const uint32_t uCount = bDone ? io_ring.BytesAvailable() / kFrameBytes
                                      : std::uniform_int_distribution<uint32_t>(1, 7)(random);
        if (io_ring.Read(uCount * kFrameBytes, frames.data())) {
            for (uint32_t i = 0; i < uCount && result.error.empty(); ++i) {
                const int64_t iSequence = frames[i].uSequence;
                const bool bInOrder = (i == 0 && !in_bNothingLost) ? iSequence > result.iLast
                                                                   : iSequence == result.iLast + 1;
                if (frames[i].uCheck != ~frames[i].uSequence || !bInOrder) {
                    result.error = "frame " + std::to_string(iSequence) + " after " +
                                   std::to_string(result.iLast);
                }
                result.iLast = iSequence;
            }
        } else if (std::chrono::steady_clock::now() > deadline) {
            result.error = "timed out";
        } else {
            std::this_thread::yield();
        }
    }
    result.uReaderAllocations = testing_support::ThreadAllocationCount() - uBefore;
    bStop.store(true, std::memory_order_relaxed);
    writer.join();
    return result;
}

class RingBufferThreadTest : public testing_support::HostAllocatorTest {};

TEST_F(RingBufferThreadTest, WithTheWriterWaitingForRoomEveryFrameArrivesOnceAndInOrder) {
    HostRing ring(m_allocator, kRingFrames * kFrameBytes);
    ring.SetFormats(2);
    const RunResult result = RunCountedSequence(*ring, true);
    EXPECT_EQ("", result.error);
    EXPECT_EQ(int64_t{kFrames} - 1, result.iLast);
    EXPECT_EQ(0u, result.uWriterAllocations) << "writing allocates nothing";
    EXPECT_EQ(0u, result.uReaderAllocations) << "reading allocates nothing";
}

TEST_F(RingBufferThreadTest, WhenTheWriterOverrunsTheReaderSeesTheNewestFramesInOrderAndUntorn) {
    HostRing ring(m_allocator, kRingFrames * kFrameBytes);
    ring.SetFormats(2);
    const RunResult result = RunCountedSequence(*ring, false);
    EXPECT_EQ("", result.error);
    EXPECT_EQ(int64_t{kFrames} - 1, result.iLast) << "the newest frame is never lost";
    EXPECT_EQ(0u, ring->BytesAvailable());
}

// The control for the counts above: the counter does see an allocation on the thread that makes
// it (with ThreadSanitizer it counts through another route).
TEST(AllocationCounterTest, SeesAnAllocationOnItsThread) {
    const uint64_t uBefore = testing_support::ThreadAllocationCount();
    int* volatile pValue = new int(2);  // volatile: the compiler may not leave the allocation out
    delete pValue;
    EXPECT_EQ(1u, testing_support::ThreadAllocationCount() - uBefore);
}

}  // namespace
