// The sample ring: overwrite-oldest writes, all-or-nothing reads, discards, its formats, reset and
// what happens when its storage or its lock cannot be had.

#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <utility>
#include <vector>

#include "AllocationCounter.h"
#include "AssertRecorder.h"
#include "HostAllocatorTest.h"
#include "RingTestSupport.h"
#include "standin/Control.h"

namespace {

using ring_testing::Counting;
using ring_testing::HostRing;
using ring_testing::ReadBytes;

class RingBufferTest : public testing_support::HostAllocatorTest {};

std::vector<uint8_t> Concat(const std::vector<uint8_t>& in_a, const std::vector<uint8_t>& in_b) {
    std::vector<uint8_t> all = in_a;
    all.insert(all.end(), in_b.begin(), in_b.end());
    return all;
}
std::vector<uint8_t> Slice(const std::vector<uint8_t>& in_bytes, size_t in_uFrom, size_t in_uTo) {
    return std::vector<uint8_t>(in_bytes.begin() + in_uFrom, in_bytes.begin() + in_uTo);
}

TEST_F(RingBufferTest, ReadsReturnWhatWasWrittenInOrderAcrossTheEndOfTheStorage) {
    HostRing ring(m_allocator, 16);
    ASSERT_TRUE(ring->IsUsable());
    ring.SetFormats(1);
    const std::vector<uint8_t> first = Counting(12, 1);
    const std::vector<uint8_t> second = Counting(12, 101);

    ring->Write(12, first.data());
    EXPECT_EQ(Slice(first, 0, 8), ReadBytes(*ring, 8));
    // 12 bytes are free: nothing is lost, and the write wraps at the end of the storage.
    ring->Write(12, second.data());
    EXPECT_EQ(16u, ring->BytesAvailable());
    EXPECT_EQ(0u, ring->BytesFree());
    // One byte more than the ring holds: nothing, and the destination is left as it was.
    std::vector<uint8_t> destination(17, 0xEE);
    EXPECT_FALSE(ring->Read(17, destination.data()));
    EXPECT_EQ(std::vector<uint8_t>(17, 0xEE), destination);
    // Exactly what it holds: everything, and the ring is empty.
    EXPECT_EQ(Concat(Slice(first, 8, 12), second), ReadBytes(*ring, 16));
    EXPECT_EQ(0u, ring->BytesAvailable());
    EXPECT_EQ(16u, ring->BytesFree());
}

// Discarding drops the oldest bytes, across the end of the storage, or all of them when the ring
// holds fewer.
TEST_F(RingBufferTest, DiscardingDropsTheOldestBytes) {
    HostRing ring(m_allocator, 16);
    ring.SetFormats(1);
    const std::vector<uint8_t> data = Counting(24, 1);
    ring->Write(12, data.data());
    EXPECT_EQ(8u, ring->Discard(8));
    ring->Write(12, data.data() + 12);
    EXPECT_EQ(12u, ring->Discard(12));
    EXPECT_EQ(Slice(data, 20, 24), ReadBytes(*ring, 4));
    ring->Write(8, data.data());
    EXPECT_EQ(8u, ring->Discard(100));
    EXPECT_EQ(0u, ring->BytesAvailable());
    EXPECT_EQ(16u, ring->BytesFree());
}

TEST_F(RingBufferTest, AWriteIntoTooLittleRoomKeepsTheNewestBytes) {
    HostRing ring(m_allocator, 16);
    ring.SetFormats(1);
    const std::vector<uint8_t> first = Counting(12, 1);
    const std::vector<uint8_t> second = Counting(8, 101);
    ring->Write(12, first.data());
    ring->Write(8, second.data());  // 4 free: the 4 oldest unread bytes are overwritten
    EXPECT_EQ(16u, ring->BytesAvailable());
    EXPECT_EQ(0u, ring->BytesFree());
    EXPECT_EQ(Concat(Slice(first, 4, 12), second), ReadBytes(*ring, 16));

    // The ring goes on from there as if it had never overflowed.
    const std::vector<uint8_t> third = Counting(8, 201);
    ring->Write(8, third.data());
    EXPECT_EQ(third, ReadBytes(*ring, 8));
}

TEST_F(RingBufferTest, AWriteLongerThanTheCapacityKeepsItsLastCapacityBytes) {
    HostRing ring(m_allocator, 16);
    ring.SetFormats(1);
    // Move both positions off 0 first, so that the long write starts mid-storage.
    const std::vector<uint8_t> head = Counting(4, 1);
    ring->Write(4, head.data());
    ASSERT_EQ(head, ReadBytes(*ring, 4));

    const std::vector<uint8_t> longWrite = Counting(44, 50);  // 11 frames, 2.75 capacities
    ring->Write(44, longWrite.data());
    EXPECT_EQ(16u, ring->BytesAvailable());
    EXPECT_EQ(Slice(longWrite, 28, 44), ReadBytes(*ring, 16));

    // The write position ended where eleven frame-by-frame copies leave it: 4 + 44 = 48 = 0 mod
    // 16, so what comes next is read back in order with nothing stale in between.
    const std::vector<uint8_t> next = Counting(12, 150);
    ring->Write(12, next.data());
    EXPECT_EQ(12u, ring->BytesAvailable());
    EXPECT_EQ(next, ReadBytes(*ring, 12));
}

// A producer that lays frames out as Counting bytes starting at in_uFirstByte, and remembers
// which frames it was asked for.
struct CountingFrames {
    uint32_t uFrameBytes;
    uint32_t uFirstByte;
    std::vector<std::pair<uint32_t, uint32_t>> runs;  // first frame, frames

    static void Produce(void* in_pContext, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                        uint8_t* out_pDestination) {
        CountingFrames& self = *static_cast<CountingFrames*>(in_pContext);
        self.runs.emplace_back(in_uFirstFrame, in_uFrames);
        const std::vector<uint8_t> bytes = Counting(
            in_uFrames * self.uFrameBytes, self.uFirstByte + in_uFirstFrame * self.uFrameBytes);
        memcpy(out_pDestination, bytes.data(), bytes.size());
    }
};

// Frames laid straight into the storage are the bytes a Write of them would have copied, split
// where the storage ends; only the newest capacity's worth of an overlong write is asked for.
TEST_F(RingBufferTest, FramesLaidInPlaceAreWhatAWriteWouldHaveCopied) {
    HostRing ring(m_allocator, 16);
    ring.SetFormats(1);  // 4-byte frames: the ring holds 4
    CountingFrames first{4, 1, {}};
    ASSERT_TRUE(ring->WriteFrames(3, &CountingFrames::Produce, &first));
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}}), first.runs);
    EXPECT_EQ(Counting(8, 1), ReadBytes(*ring, 8));
    CountingFrames second{4, 101, {}};
    ASSERT_TRUE(ring->WriteFrames(3, &CountingFrames::Produce, &second));
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {1, 2}}), second.runs);
    EXPECT_EQ(Concat(Counting(4, 9), Counting(12, 101)), ReadBytes(*ring, 16));

    CountingFrames overlong{4, 1, {}};
    ASSERT_TRUE(ring->WriteFrames(9, &CountingFrames::Produce, &overlong));
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{5, 1}, {6, 3}}), overlong.runs);
    EXPECT_EQ(0u, ring->BytesFree());
    EXPECT_EQ(Counting(16, 21), ReadBytes(*ring, 16));
}

// A ring that cannot take whole frames in place says so and is left as it was: the writer then
// copies its frames in.
TEST_F(RingBufferTest, FramesThatWouldStraddleTheEndOfTheStorageAreRefused) {
    HostRing unconfigured(m_allocator, 16);
    CountingFrames frames{4, 1, {}};
    EXPECT_FALSE(unconfigured->WriteFrames(1, &CountingFrames::Produce, &frames));

    HostRing ring(m_allocator, 18);  // not a whole number of 4-byte frames
    ring.SetFormats(1);
    EXPECT_FALSE(ring->WriteFrames(2, &CountingFrames::Produce, &frames));
    EXPECT_TRUE(frames.runs.empty());
    EXPECT_EQ(18u, ring->BytesFree());
    // A write position that is not on a frame (the writer's frames grew): refused too.
    HostRing grown(m_allocator, 48);
    grown.SetFormats(1);
    const std::vector<uint8_t> bytes = Counting(4);
    grown->Write(4, bytes.data());
    grown->SetWriterFormat(RingFormat::Float32(3, 256));
    EXPECT_FALSE(grown->WriteFrames(1, &CountingFrames::Produce, &frames));
    EXPECT_TRUE(frames.runs.empty());
    EXPECT_EQ(44u, grown->BytesFree());
}

TEST_F(RingBufferTest, WriterAndReaderFrameSizesMayDifferWithoutLosingTrackOfTheBytes) {
    HostRing ring(m_allocator, 32);
    ring->SetReaderFormat(RingFormat::Float32(1, 480));  // 4-byte reader frames
    ring->SetWriterFormat(RingFormat::Float32(2, 256));  // 8-byte writer frames
    const std::vector<uint8_t> data = Counting(19);
    ring->Write(19, data.data());  // two whole writer frames and a remainder that is dropped
    EXPECT_EQ(16u, ring->BytesAvailable()) << "the ring counts the bytes it copied";
    EXPECT_EQ(Slice(data, 0, 12), ReadBytes(*ring, 12));
    EXPECT_EQ(Slice(data, 12, 16), ReadBytes(*ring, 4));

    // Overflow is found by the same count.
    const std::vector<uint8_t> big = Counting(40, 100);
    ring->Write(40, big.data());
    EXPECT_EQ(32u, ring->BytesAvailable());
    EXPECT_EQ(Slice(big, 8, 40), ReadBytes(*ring, 32));
}

TEST_F(RingBufferTest, UntilBothSidesAre32BitWithFrameCountsTheRingIsInert) {
    const std::vector<uint8_t> data = Counting(8);
    std::vector<uint8_t> destination(4, 0xEE);

    HostRing unset(m_allocator, 16);
    unset->Write(8, data.data());
    EXPECT_EQ(0u, unset->BytesAvailable());
    unset->SetReaderFormat(RingFormat::Float32(1, 480));  // the writer has no frame count yet
    unset->Write(8, data.data());
    EXPECT_EQ(0u, unset->BytesAvailable());

    HostRing sixteenBit(m_allocator, 16);
    RingFormat format16 = RingFormat::Float32(1, 256);
    format16.uBlockAlign = 2;
    format16.uBitsPerSample = 16;
    sixteenBit->SetReaderFormat(format16);
    sixteenBit->SetWriterFormat(format16);
    sixteenBit->Write(8, data.data());
    EXPECT_EQ(0u, sixteenBit->BytesAvailable());
    EXPECT_EQ(16u, sixteenBit->BytesFree());
    EXPECT_FALSE(sixteenBit->Read(0, destination.data()));

    // A 16-bit side unconfigures a configured ring; a side without a frame count does not.
    HostRing configured(m_allocator, 16);
    configured.SetFormats(1);
    configured->SetWriterFormat(RingFormat::Float32(1, 0));
    configured->Write(8, data.data());
    EXPECT_EQ(8u, configured->BytesAvailable());
    configured->SetWriterFormat(format16);
    EXPECT_FALSE(configured->Read(4, destination.data()));
    EXPECT_EQ(std::vector<uint8_t>(4, 0xEE), destination);
}

TEST_F(RingBufferTest, ResetEmptiesTheRingAndZeroesTheStorage) {
    HostRing ring(m_allocator, 16);
    ring.SetFormats(1);
    const std::vector<uint8_t> data = Counting(16, 1);
    ring->Write(12, data.data());
    ring->Write(8, data.data());
    ring->Reset();
    EXPECT_EQ(0u, ring->BytesAvailable());
    EXPECT_EQ(16u, ring->BytesFree());
    EXPECT_TRUE(ReadBytes(*ring, 1).empty());

    // Setting the reader format rewinds both positions and keeps the free count: two 4-byte writes,
    // each followed by a rewind, land on the same 4 bytes but count 8, so a read of 8 shows the
    // written bytes and then storage that only the reset can have zeroed.
    ring->Write(4, data.data());
    ring->SetReaderFormat(RingFormat::Float32(1, 480));
    EXPECT_EQ(4u, ring->BytesAvailable());
    ring->Write(4, data.data());
    ring->SetReaderFormat(RingFormat::Float32(1, 480));
    std::vector<uint8_t> expected(8, 0);
    memcpy(expected.data(), data.data(), 4);
    EXPECT_EQ(expected, ReadBytes(*ring, 8)) << "bytes 4 to 7 were zeroed by the reset";
}

TEST_F(RingBufferTest, NothingIsAllocatedAfterConstruction) {
    HostRing ring(m_allocator, 4096);
    ring.SetFormats(2);
    const std::vector<uint8_t> data = Counting(2048);
    std::vector<uint8_t> destination(2048);
    const uint64_t uHostCalls = m_allocator.MallocCalls();
    testing_support::AllocationWatch watch;
    for (int i = 0; i < 8; ++i) {
        ring->Write(2048, data.data());
        ring->Read(1000, destination.data());
        ring->BytesAvailable();
        ring->BytesFree();
    }
    ring->Reset();
    EXPECT_EQ(0u, watch.Count());
    EXPECT_EQ(uHostCalls, m_allocator.MallocCalls());
}

TEST_F(RingBufferTest, TheRingAndItsStorageLiveInHostMemory) {
    {
        HostRing ring(m_allocator, 1000);
        EXPECT_EQ(2u, m_allocator.OutstandingBlocks()) << "the object and its storage";
        EXPECT_EQ(sizeof(CBuffer) + 1000u, m_allocator.OutstandingBytes());
        EXPECT_EQ(1u, standin::Live().criticalSections);
    }
    EXPECT_EQ(0u, m_allocator.OutstandingBlocks());
    EXPECT_EQ(0u, standin::Live().criticalSections);
}

// Whatever made the ring unusable, every call on it does nothing and tells its owner so.
void ExpectInert(CBuffer& io_ring) {
    EXPECT_FALSE(io_ring.IsUsable());
    io_ring.SetReaderFormat(RingFormat::Float32(1, 480));
    io_ring.SetWriterFormat(RingFormat::Float32(1, 256));
    const std::vector<uint8_t> data = Counting(8);
    io_ring.Write(8, data.data());
    std::vector<uint8_t> destination(4, 0xEE);
    EXPECT_FALSE(io_ring.Read(4, destination.data()));
    EXPECT_EQ(std::vector<uint8_t>(4, 0xEE), destination);
    EXPECT_EQ(0u, io_ring.BytesAvailable());
    EXPECT_EQ(0u, io_ring.BytesFree());
    io_ring.Reset();
    EXPECT_EQ(0u, io_ring.BytesAvailable());
}

TEST_F(RingBufferTest, AFailedLockSetUpIsReportedWithTheOwnersTextAndLeavesTheRingUnusable) {
    testing_support::AssertRecorder recorder;
    const char* const apszReports[] = {"!\"ISAC CirBuffer InitFailed.\"",
                                       "!\"ISAC CBuffer InitFailed.\"",
                                       "!\"ISAC CBuff InitFailed.\""};
    for (const char* pszReport : apszReports) {
        recorder.Clear();
        standin::FailCall("InitializeCriticalSectionEx", 1, E_OUTOFMEMORY);
        HostRing ring(m_allocator, 64, pszReport);
        ASSERT_NE(nullptr, ring.Get());
        const std::vector<testing_support::CheckReport> reports = recorder.Reports();
        ASSERT_EQ(1u, reports.size());
        EXPECT_EQ(pszReport, reports[0].expression);
        EXPECT_EQ("CBuffer", reports[0].source);
        EXPECT_GT(reports[0].line, 0);
        EXPECT_EQ(1u, m_allocator.OutstandingBlocks()) << "the unusable ring keeps no storage";
        EXPECT_EQ(0u, standin::Live().criticalSections);
        ExpectInert(*ring);
    }
}

TEST_F(RingBufferTest, AFailedStorageAllocationLeavesTheRingUnusable) {
    testing_support::AssertRecorder recorder;
    m_allocator.FailAllocation(2);  // the ring object itself is the first allocation
    HostRing ring(m_allocator, 64);
    ASSERT_NE(nullptr, ring.Get());
    EXPECT_EQ(0u, standin::Live().criticalSections) << "no lock for a ring without storage";
    EXPECT_TRUE(recorder.Reports().empty());
    ExpectInert(*ring);

    HostRing empty(m_allocator, 0);
    ExpectInert(*empty);
}

}  // namespace
