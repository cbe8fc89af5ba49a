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

constexpr uint32_t kFrameBytes = 8;
constexpr auto kDeadline = std::chrono::seconds(60);

struct Frame {
    uint32_t uSequence;
    uint32_t uCheck;  // ~uSequence
};
static_assert(sizeof(Frame) == kFrameBytes, "two words per frame");

class RingBufferThreadTest : public testing_support::HostAllocatorTest {
protected:
    // Runs in_writer and in_reader on two threads; both must end before the deadline.
    template <typename Writer, typename Reader>
    void RunPair(Writer in_writer, Reader in_reader) {
        std::thread writer(in_writer);
        std::thread reader(in_reader);
        writer.join();
        reader.join();
    }
};

bool PastDeadline(std::chrono::steady_clock::time_point in_start) {
    return std::chrono::steady_clock::now() - in_start > kDeadline;
}

// Checks the frames of one read: untorn and consecutive (one read takes one stretch of the ring,
// which always holds frames in the order written). The first frame follows the last one read
// before it directly, or, when the writer may have overwritten unread frames, just comes later.
// Returns an empty string, or what went wrong.
std::string CheckFrames(const std::vector<Frame>& in_frames, uint32_t in_uCount, int64_t& io_iLast,
                        bool in_bNothingLost) {
    for (uint32_t i = 0; i < in_uCount; ++i) {
        const Frame& frame = in_frames[i];
        if (frame.uCheck != ~frame.uSequence) {
            return "torn frame " + std::to_string(frame.uSequence);
        }
        const int64_t iSequence = frame.uSequence;
        const bool bInOrder =
            (i == 0 && !in_bNothingLost) ? iSequence > io_iLast : iSequence == io_iLast + 1;
        if (!bInOrder) {
            return "frame " + std::to_string(iSequence) + " after " + std::to_string(io_iLast);
        }
        io_iLast = iSequence;
    }
    return std::string();
}

TEST_F(RingBufferThreadTest, WithTheWriterWaitingForRoomEveryFrameArrivesOnceAndInOrder) {
    constexpr uint32_t kFrames = 60000;
    HostRing ring(m_allocator, 40 * kFrameBytes);
    ring.SetFormats(2);
    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> bFailed{false};  // relaxed: only stops the other thread early
    std::string readerError;
    int64_t iLast = -1;

    uint64_t uWriterAllocations = 0;
    uint64_t uReaderAllocations = 0;

    RunPair(
        [&]() {
            std::mt19937 random(1);
            std::vector<Frame> frames(9);
            const uint64_t uBefore = testing_support::ThreadAllocationCount();
            uint32_t uNext = 0;
            while (uNext < kFrames && !bFailed.load(std::memory_order_relaxed)) {
                uint32_t uCount = std::uniform_int_distribution<uint32_t>(1, 9)(random);
                uCount = std::min(uCount, kFrames - uNext);
                if (ring->BytesFree() < uCount * kFrameBytes) {
                    if (PastDeadline(start)) {
                        bFailed = true;
                    }
                    std::this_thread::yield();
                    continue;
                }
                for (uint32_t i = 0; i < uCount; ++i) {
                    frames[i] = Frame{uNext + i, ~(uNext + i)};
                }
                ring->Write(uCount * kFrameBytes, frames.data());
                uNext += uCount;
            }
            uWriterAllocations = testing_support::ThreadAllocationCount() - uBefore;
        },
        [&]() {
            std::mt19937 random(2);
            std::vector<Frame> frames(13);
            const uint64_t uBefore = testing_support::ThreadAllocationCount();
            while (iLast + 1 < kFrames && !bFailed.load(std::memory_order_relaxed)) {
                const uint32_t uCount = std::uniform_int_distribution<uint32_t>(1, 13)(random);
                if (!ring->Read(uCount * kFrameBytes, frames.data())) {
                    if (PastDeadline(start)) {
                        readerError = "timed out";
                        bFailed = true;
                    }
                    std::this_thread::yield();
                    continue;
                }
                readerError = CheckFrames(frames, uCount, iLast, true);
                if (!readerError.empty()) {
                    bFailed = true;
                }
            }
            uReaderAllocations = testing_support::ThreadAllocationCount() - uBefore;
        });
    EXPECT_FALSE(bFailed.load()) << readerError;
    EXPECT_EQ(0u, uWriterAllocations) << "writing allocates nothing";
    EXPECT_EQ(0u, uReaderAllocations) << "reading allocates nothing";
    EXPECT_EQ(int64_t{kFrames} - 1, iLast);
    EXPECT_EQ(0u, ring->BytesAvailable());
}

TEST_F(RingBufferThreadTest, WhenTheWriterOverrunsTheReaderSeesTheNewestFramesInOrderAndUntorn) {
    constexpr uint32_t kFrames = 60000;
    HostRing ring(m_allocator, 24 * kFrameBytes);
    ring.SetFormats(2);
    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> bWriterDone{false};  // release by the writer after its last write, acquire
    std::atomic<bool> bFailed{false};      // relaxed: only stops the writer early
    std::string readerError;
    int64_t iLast = -1;
    uint64_t uFramesRead = 0;

    RunPair(
        [&]() {
            std::mt19937 random(3);
            std::vector<Frame> frames(11);
            for (uint32_t uNext = 0; uNext < kFrames && !bFailed.load(std::memory_order_relaxed);) {
                uint32_t uCount = std::uniform_int_distribution<uint32_t>(1, 11)(random);
                uCount = std::min(uCount, kFrames - uNext);
                for (uint32_t i = 0; i < uCount; ++i) {
                    frames[i] = Frame{uNext + i, ~(uNext + i)};
                }
                ring->Write(uCount * kFrameBytes, frames.data());
                uNext += uCount;
            }
            bWriterDone.store(true, std::memory_order_release);
        },
        [&]() {
            std::mt19937 random(4);
            std::vector<Frame> frames(24);
            for (;;) {
                const bool bDone = bWriterDone.load(std::memory_order_acquire);
                // After the last write, drain what is left in one read.
                const uint32_t uCount = bDone
                                            ? ring->BytesAvailable() / kFrameBytes
                                            : std::uniform_int_distribution<uint32_t>(1, 7)(random);
                if (ring->Read(uCount * kFrameBytes, frames.data())) {
                    readerError = CheckFrames(frames, uCount, iLast, false);
                    uFramesRead += uCount;
                    if (!readerError.empty()) {
                        bFailed = true;
                        return;
                    }
                }
                if (bDone) {
                    return;
                }
                if (PastDeadline(start)) {
                    readerError = "timed out";
                    bFailed = true;
                    return;
                }
                std::this_thread::yield();
            }
        });
    EXPECT_FALSE(bFailed.load()) << readerError;
    EXPECT_EQ(int64_t{kFrames} - 1, iLast) << "the newest frame is never lost";
    EXPECT_GT(uFramesRead, 0u);
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
