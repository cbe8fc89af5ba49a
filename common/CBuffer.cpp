#include "CBuffer.h"

#include <string.h>

#include "AssertHook.h"
#include "HostMemory.h"

namespace {

// Holds the ring's critical section for one block.
class RingLock {
public:
    explicit RingLock(CRITICAL_SECTION& io_lock) : m_rLock(io_lock) {
        EnterCriticalSection(&m_rLock);
    }
    ~RingLock() { LeaveCriticalSection(&m_rLock); }
    RingLock(const RingLock&) = delete;
    RingLock& operator=(const RingLock&) = delete;

private:
    CRITICAL_SECTION& m_rLock;
};

constexpr RingFormat kNoFormat = {};

// The position in_uBytes after in_uPosition (below in_uCapacity). Less than a whole turn, which is
// every read and every write that fits, wraps at most once: a compare, not a division.
uint32_t Advance(uint32_t in_uPosition, uint64_t in_uBytes, uint32_t in_uCapacity) {
    if (in_uBytes < in_uCapacity) {
        const uint32_t uToEnd = in_uCapacity - in_uPosition;
        const uint32_t uBytes = static_cast<uint32_t>(in_uBytes);
        return uBytes < uToEnd ? in_uPosition + uBytes : uBytes - uToEnd;
    }
    return static_cast<uint32_t>((in_uPosition + in_uBytes) % in_uCapacity);
}

}  // namespace

CBuffer::CBuffer(uint32_t in_uCapacity, ZV::IPluginMemAlloc* in_pAllocator,
                 const char* in_pszInitFailedReport)
    : m_pAllocator(in_pAllocator),
      m_writerFormat(kNoFormat),
      m_readerFormat(kNoFormat),
      m_pStorage(nullptr),
      m_uCapacity(0),
      m_uReadPos(0),
      m_uWritePos(0),
      m_uFree(0),
      m_lock(),
      m_uWriterFrameBytes(0),
      m_uReaderFrameBytes(0),
      m_bLockReady(false) {
    if (in_uCapacity == 0) {
        return;
    }
    m_pStorage = static_cast<uint8_t*>(HostAllocateZeroed(m_pAllocator, in_uCapacity));
    if (m_pStorage == nullptr) {
        return;
    }
    if (!InitializeCriticalSectionEx(&m_lock, 0, 0)) {
        ZvReportCheck(in_pszInitFailedReport, "CBuffer", __LINE__);
        // An unusable ring keeps nothing it could not use.
        m_pAllocator->Free(m_pStorage);
        m_pStorage = nullptr;
        return;
    }
    m_bLockReady = true;
    m_uCapacity = in_uCapacity;
    m_uFree = in_uCapacity;
}

CBuffer::~CBuffer() {
    if (m_pStorage != nullptr) {
        m_pAllocator->Free(m_pStorage);
        m_pStorage = nullptr;
    }
    m_writerFormat = kNoFormat;
    m_readerFormat = kNoFormat;
    if (m_bLockReady) {
        DeleteCriticalSection(&m_lock);
        m_bLockReady = false;
    }
}

void CBuffer::SetReaderFormat(const RingFormat& in_format) {
    if (!IsUsable()) {
        return;
    }
    RingLock lock(m_lock);
    m_readerFormat = in_format;
    m_uReadPos = 0;
    m_uWritePos = 0;
    UpdateFrameSizes();
}

void CBuffer::SetWriterFormat(const RingFormat& in_format) {
    if (!IsUsable()) {
        return;
    }
    RingLock lock(m_lock);
    m_writerFormat = in_format;
    UpdateFrameSizes();
}

// Called under the lock. Both sizes are decided together, once both sides have a frame count; a
// side without one leaves them as they were.
void CBuffer::UpdateFrameSizes() {
    if (m_writerFormat.uNumFrames == 0 || m_readerFormat.uNumFrames == 0) {
        return;
    }
    if (m_writerFormat.uBitsPerSample == 32 && m_readerFormat.uBitsPerSample == 32) {
        // 16 bits times 16 bits always fits in 32 bits (once widened: uint16_t would promote to
        // int and overflow).
        m_uWriterFrameBytes =
            uint32_t{m_writerFormat.uNumChannels} * uint32_t{m_writerFormat.uBlockAlign};
        m_uReaderFrameBytes =
            uint32_t{m_readerFormat.uNumChannels} * uint32_t{m_readerFormat.uBlockAlign};
    } else {
        m_uWriterFrameBytes = 0;
        m_uReaderFrameBytes = 0;
    }
}

void CBuffer::CopyIn(uint32_t in_uPosition, const uint8_t* in_pSource, uint32_t in_uBytes) {
    const uint32_t uToEnd = m_uCapacity - in_uPosition;
    const uint32_t uFirst = in_uBytes < uToEnd ? in_uBytes : uToEnd;
    memcpy(m_pStorage + in_uPosition, in_pSource, uFirst);
    if (uFirst < in_uBytes) {
        memcpy(m_pStorage, in_pSource + uFirst, in_uBytes - uFirst);
    }
}

void CBuffer::CopyOut(uint32_t in_uPosition, uint8_t* out_pDestination, uint32_t in_uBytes) const {
    const uint32_t uToEnd = m_uCapacity - in_uPosition;
    const uint32_t uFirst = in_uBytes < uToEnd ? in_uBytes : uToEnd;
    memcpy(out_pDestination, m_pStorage + in_uPosition, uFirst);
    if (uFirst < in_uBytes) {
        memcpy(out_pDestination + uFirst, m_pStorage, in_uBytes - uFirst);
    }
}

void CBuffer::Write(uint32_t in_uBytes, const void* in_pSource) {
    if (!IsUsable() || in_pSource == nullptr) {
        return;
    }
    RingLock lock(m_lock);
    if (m_uWriterFrameBytes == 0 || m_uReaderFrameBytes == 0) {
        return;
    }
    // Whole writer frames only.
    const uint64_t uCopied = uint64_t{in_uBytes} / m_uWriterFrameBytes * m_uWriterFrameBytes;
    if (uCopied == 0) {
        return;
    }
    // Copying frame after frame around the ring leaves only the last m_uCapacity bytes in place;
    // copy just those, at the position where frame-by-frame copying would have put them.
    const uint64_t uSkipped = uCopied > m_uCapacity ? uCopied - m_uCapacity : 0;
    const uint8_t* pSource = static_cast<const uint8_t*>(in_pSource);
    CopyIn(Advance(m_uWritePos, uSkipped, m_uCapacity), pSource + uSkipped,
           static_cast<uint32_t>(uCopied - uSkipped));
    AccountWritten(uCopied);
}

bool CBuffer::WriteFrames(uint32_t in_uFrames, FrameProducer in_pfnProduce, void* in_pContext) {
    if (!IsUsable() || in_pfnProduce == nullptr) {
        return false;
    }
    RingLock lock(m_lock);
    const uint32_t uFrameBytes = m_uWriterFrameBytes;
    if (uFrameBytes == 0 || m_uReaderFrameBytes == 0 || m_uCapacity % uFrameBytes != 0 ||
        m_uWritePos % uFrameBytes != 0) {
        return false;
    }
    const uint64_t uCopied = uint64_t{in_uFrames} * uFrameBytes;
    if (uCopied == 0) {
        return true;
    }
    // As Write: frames beyond the capacity would only be overwritten by later ones.
    const uint32_t uCapacityFrames = m_uCapacity / uFrameBytes;
    const uint32_t uSkipped = in_uFrames > uCapacityFrames ? in_uFrames - uCapacityFrames : 0;
    const uint32_t uFrames = in_uFrames - uSkipped;
    const uint32_t uPosition = Advance(m_uWritePos, uint64_t{uSkipped} * uFrameBytes, m_uCapacity);
    const uint32_t uToEnd = (m_uCapacity - uPosition) / uFrameBytes;
    const uint32_t uFirst = uFrames < uToEnd ? uFrames : uToEnd;
    in_pfnProduce(in_pContext, uSkipped, uFirst, m_pStorage + uPosition);
    if (uFirst < uFrames) {
        in_pfnProduce(in_pContext, uSkipped + uFirst, uFrames - uFirst, m_pStorage);
    }
    AccountWritten(uCopied);
    return true;
}

void CBuffer::AccountWritten(uint64_t in_uCopied) {
    m_uWritePos = Advance(m_uWritePos, in_uCopied, m_uCapacity);
    if (in_uCopied > m_uFree) {
        // Unread bytes were overwritten: the ring now holds the newest m_uCapacity bytes.
        m_uReadPos = m_uWritePos;
        m_uFree = 0;
    } else {
        m_uFree -= static_cast<uint32_t>(in_uCopied);
    }
}

bool CBuffer::Read(uint32_t in_uBytes, void* out_pDestination) {
    if (!IsUsable() || (out_pDestination == nullptr && in_uBytes != 0)) {
        return false;
    }
    RingLock lock(m_lock);
    if (m_uWriterFrameBytes == 0 || m_uReaderFrameBytes == 0 || in_uBytes > m_uCapacity - m_uFree) {
        return false;
    }
    if (in_uBytes == 0) {
        return true;
    }
    CopyOut(m_uReadPos, static_cast<uint8_t*>(out_pDestination), in_uBytes);
    m_uReadPos = Advance(m_uReadPos, in_uBytes, m_uCapacity);
    m_uFree += in_uBytes;
    return true;
}

uint32_t CBuffer::Discard(uint32_t in_uBytes) {
    if (!IsUsable()) {
        return 0;
    }
    RingLock lock(m_lock);
    const uint32_t uAvailable = m_uCapacity - m_uFree;
    const uint32_t uDropped = in_uBytes < uAvailable ? in_uBytes : uAvailable;
    m_uReadPos = Advance(m_uReadPos, uDropped, m_uCapacity);
    m_uFree += uDropped;
    return uDropped;
}

uint32_t CBuffer::BytesAvailable() const {
    if (!IsUsable()) {
        return 0;
    }
    RingLock lock(m_lock);
    return m_uCapacity - m_uFree;
}

uint32_t CBuffer::BytesFree() const {
    if (!IsUsable()) {
        return 0;
    }
    RingLock lock(m_lock);
    return m_uFree;
}

void CBuffer::Reset() {
    if (!IsUsable()) {
        return;
    }
    RingLock lock(m_lock);
    memset(m_pStorage, 0, m_uCapacity);
    m_uFree = m_uCapacity;
    m_uReadPos = 0;
    m_uWritePos = 0;
}
