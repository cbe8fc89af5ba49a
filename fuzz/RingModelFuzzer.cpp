// The sample ring against its reference model (tests/support/ReferenceRing.h), driven by the input:
// a capacity, a set-up that may fail (no storage, no lock), then any sequence of format changes
// (any channel count, block align, bit depth and frame count), writes of any length (a remainder
// of a frame, several capacities at once), reads of any length, resets and the two counts. Every
// read must give the model's bytes or leave the destination untouched; the counts must agree
// after every call; each buffer handed over has exactly its length, so that a copy past its end is
// caught.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

#include "AssertHook.h"
#include "CBuffer.h"
#include "FuzzCheck.h"
#include "HostAllocator.h"
#include "ReferenceRing.h"
#include "standin/Control.h"

namespace {

uint32_t g_uInitFailedReports = 0;

void CountReport(const char* in_pszExpression, const char* in_pszSource, int /*in_iLine*/) {
    if (strcmp(in_pszSource, "CBuffer") == 0 && strcmp(in_pszExpression, "!\"report\"") == 0) {
        ++g_uInitFailedReports;
    }
}

// What the ring asks of a producer, held against what it must ask: the frames from the first
// one the ring keeps (the newest capacity's worth) to the last, in order, in at most two runs.
struct Producer {
    uint32_t uFrameBytes = 0;
    uint8_t uSalt = 0;
    uint32_t uNextFrame = 0;  // the first frame the next run must start at
    uint32_t uRuns = 0;

    static uint8_t Byte(uint8_t in_uSalt, uint32_t in_uFrame, uint32_t in_uFrameBytes,
                        uint32_t in_uByte) {
        return static_cast<uint8_t>(in_uSalt + in_uFrame * in_uFrameBytes + in_uByte);
    }
    static void Produce(void* in_pContext, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                        uint8_t* out_pDestination) {
        Producer& producer = *static_cast<Producer*>(in_pContext);
        FUZZ_CHECK(++producer.uRuns <= 2);
        FUZZ_CHECK(in_uFirstFrame == producer.uNextFrame);
        FUZZ_CHECK(in_uFrames > 0);
        for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
            for (uint32_t b = 0; b < producer.uFrameBytes; ++b) {
                out_pDestination[uFrame * producer.uFrameBytes + b] =
                    Byte(producer.uSalt, in_uFirstFrame + uFrame, producer.uFrameBytes, b);
            }
        }
        producer.uNextFrame = in_uFirstFrame + in_uFrames;
    }
};

RingFormat TakeFormat(FuzzedDataProvider& io_input) {
    RingFormat format = RingFormat::Float32(1, 1);
    format.uNumChannels = io_input.ConsumeIntegralInRange<uint16_t>(0, 5);
    format.uBlockAlign = io_input.ConsumeIntegralInRange<uint16_t>(0, 5);
    switch (io_input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            format.uBitsPerSample = 16;
            break;
        case 1:
            format.uBitsPerSample = io_input.ConsumeIntegral<uint16_t>();
            break;
        default:
            format.uBitsPerSample = 32;
            break;
    }
    format.uNumFrames =
        io_input.ConsumeBool() ? io_input.ConsumeIntegral<uint16_t>() : uint16_t{480};
    if (io_input.ConsumeIntegralInRange<int>(0, 7) == 0) {
        format.uNumFrames = 0;
    }
    // The fields the ring does not read may hold anything.
    format.uFormatTag = io_input.ConsumeIntegral<uint16_t>();
    format.uSampleRate = io_input.ConsumeIntegral<uint32_t>();
    return format;
}

}  // namespace

ZvAssertHook g_pfnZvAssertHook = &CountReport;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in_pData, size_t in_uSize) {
    FuzzedDataProvider input(in_pData, in_uSize);
    host::HostAllocator allocator;
    g_uInitFailedReports = 0;

    const uint32_t uCapacity = input.ConsumeBool()
                                   ? input.ConsumeIntegralInRange<uint32_t>(0, 64)
                                   : input.ConsumeIntegralInRange<uint32_t>(0, 4096);
    const int iSetUp = input.ConsumeIntegralInRange<int>(0, 15);
    const bool bNoStorage = iSetUp == 0;
    const bool bNoLock = iSetUp == 1;
    if (bNoStorage) {
        allocator.FailAllocation(1);
    }
    if (bNoLock) {
        standin::FailCall("InitializeCriticalSectionEx", 1, E_OUTOFMEMORY);
    }
    {
        CBuffer ring(uCapacity, &allocator, "!\"report\"");
        standin::ClearFaults();
        // The lock is set up only once the storage is there.
        FUZZ_CHECK(g_uInitFailedReports == (bNoLock && uCapacity != 0 ? 1u : 0u));
        testing_support::ReferenceRing model(uCapacity, !bNoStorage && !bNoLock);
        FUZZ_CHECK(ring.IsUsable() == model.Usable());

        uint8_t uNextByte = 0;
        for (int iCall = 0; iCall < 256 && input.remaining_bytes() > 0; ++iCall) {
            switch (input.ConsumeIntegralInRange<int>(0, 9)) {  // 8: reset or in place
                case 0: {
                    const RingFormat format = TakeFormat(input);
                    ring.SetReaderFormat(format);
                    model.SetReaderFormat(format);
                    break;
                }
                case 1: {
                    const RingFormat format = TakeFormat(input);
                    ring.SetWriterFormat(format);
                    model.SetWriterFormat(format);
                    break;
                }
                case 2:
                case 3:
                case 4: {
                    const uint32_t uCount =
                        input.ConsumeIntegralInRange<uint32_t>(0, 3 * uCapacity + 8);
                    std::unique_ptr<uint8_t[]> bytes(new uint8_t[uCount + 1]);
                    for (uint32_t i = 0; i < uCount; ++i) {
                        bytes[i] = ++uNextByte;
                    }
                    const bool bNull = input.ConsumeIntegralInRange<int>(0, 31) == 0;
                    ring.Write(uCount, bNull ? nullptr : bytes.get());
                    model.Write(bNull ? nullptr : bytes.get(), uCount);
                    break;
                }
                case 5:
                case 6:
                case 7: {
                    const uint32_t uCount =
                        input.ConsumeIntegralInRange<uint32_t>(0, uCapacity + 8);
                    std::unique_ptr<uint8_t[]> actual(new uint8_t[uCount + 1]);
                    memset(actual.get(), 0xEE, uCount);
                    std::vector<uint8_t> expected;
                    const bool bExpected = model.Read(uCount, expected);
                    FUZZ_CHECK(ring.Read(uCount, actual.get()) == bExpected);
                    for (uint32_t i = 0; i < uCount; ++i) {
                        FUZZ_CHECK(actual[i] == (bExpected ? expected[i] : 0xEE));
                    }
                    break;
                }
                case 8:
                    if (input.ConsumeBool()) {
                        ring.Reset();
                        model.Reset();
                        break;
                    }
                    {
                        // Frames laid straight into the storage.
                        const uint32_t uFrameBytes = model.WriterFrameBytes();
                        const uint32_t uFrames = input.ConsumeIntegralInRange<uint32_t>(
                            0, uFrameBytes != 0 ? 3 * uCapacity / uFrameBytes + 2 : 4);
                        Producer producer;
                        producer.uFrameBytes = uFrameBytes;
                        producer.uSalt = input.ConsumeIntegral<uint8_t>();
                        const uint32_t uCapacityFrames =
                            uFrameBytes != 0 ? uCapacity / uFrameBytes : 0;
                        producer.uNextFrame =
                            uFrames > uCapacityFrames ? uFrames - uCapacityFrames : 0;
                        std::vector<uint8_t> bytes(size_t{uFrames} * uFrameBytes);
                        for (uint32_t uFrame = 0; uFrame < uFrames; ++uFrame) {
                            for (uint32_t b = 0; b < uFrameBytes; ++b) {
                                bytes[size_t{uFrame} * uFrameBytes + b] =
                                    Producer::Byte(producer.uSalt, uFrame, uFrameBytes, b);
                            }
                        }
                        const bool bExpected = model.WriteFrames(bytes.data(), uFrames);
                        FUZZ_CHECK(ring.WriteFrames(uFrames, &Producer::Produce, &producer) ==
                                   bExpected);
                        // Every frame the ring keeps was asked for; none when it took none.
                        FUZZ_CHECK(
                            producer.uNextFrame ==
                            (bExpected && uFrames != 0
                                 ? uFrames
                                 : (uFrames > uCapacityFrames ? uFrames - uCapacityFrames : 0)));
                        FUZZ_CHECK(producer.uRuns == 0 || bExpected);
                    }
                    break;
                default:
                    // A read with no destination gives nothing (and takes nothing) unless it
                    // asks for nothing.
                    FUZZ_CHECK(!ring.Read(1, nullptr));
                    break;
            }
            FUZZ_CHECK(ring.BytesFree() == (model.Usable() ? model.Free() : 0u));
            FUZZ_CHECK(ring.BytesAvailable() == model.Available());
        }
    }
    FUZZ_CHECK(allocator.OutstandingBlocks() == 0);
    FUZZ_CHECK(allocator.Errors().empty());
    return 0;
}
