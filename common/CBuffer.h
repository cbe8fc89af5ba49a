// The byte ring through which a plug-in hands samples from the host engine's audio thread (the
// writer) to its render worker (the reader). The writer appends whole writer frames, the reader
// takes any number of bytes that the ring holds. When the writer gets too far ahead the oldest
// unread bytes are overwritten; when the reader asks for more than the ring holds it gets nothing.
//
// Threads: the owner's engine thread constructs the ring, sets both formats (before the reader
// starts), writes, resets and destroys it; one reader thread reads. Every field that changes after
// construction (formats, frame sizes, positions, m_uFree, the storage bytes) is read and written
// under m_lock only, held just for the copies and the arithmetic. m_pStorage, m_uCapacity and
// m_bLockReady are fixed by the constructor. There are no atomics.
//
// The ring is constructed by its owner in host-allocator memory (HostNew) and takes its storage
// from the same allocator; nothing is allocated after construction.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "RingFormat.h"
#include "ZvHostEngine.h"

class CBuffer {
public:
    // Takes in_uCapacity bytes of zeroed storage from in_pAllocator and sets up the lock. If either
    // cannot be had (or the capacity is 0), the ring stays unusable: IsUsable() answers false and
    // every later call does nothing. A failed lock set-up is reported through the assertion hook
    // with source "CBuffer" and in_pszInitFailedReport, the owning plug-in's own text (for the
    // sink "!\"ISAC CirBuffer InitFailed.\"").
    CBuffer(uint32_t in_uCapacity, ZV::IPluginMemAlloc* in_pAllocator,
            const char* in_pszInitFailedReport);
    virtual ~CBuffer();
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    bool IsUsable() const { return m_pStorage != nullptr && m_bLockReady; }

    // Also rewinds both positions to 0 (the free count stays as it is).
    void SetReaderFormat(const RingFormat& in_format);
    void SetWriterFormat(const RingFormat& in_format);

    // Copies the whole writer frames of in_uBytes (a remainder is dropped) and counts exactly what
    // it copied. When that is more than the free space, the ring ends full of the newest bytes: the
    // read position moves to the write position. Does nothing until both formats are set with
    // frame counts and 32 bits per sample.
    void Write(uint32_t in_uBytes, const void* in_pSource);
    // Fills frames in_uFirstFrame to in_uFirstFrame + in_uFrames - 1 of the data being written,
    // whole writer frames one after the other, at out_pDestination.
    typedef void (*FrameProducer)(void* in_pContext, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                                  uint8_t* out_pDestination);
    // Writes in_uFrames writer frames as Write would copy them from a buffer, but has
    // in_pfnProduce lay them straight into the storage, so that a writer that has to lay its
    // samples out anyway moves them through memory once. The producer is called under the lock
    // (at most twice: the end of the storage splits the frames) and must do nothing but fill the
    // frames. Only a ring whose capacity and write position are whole writer frames can take
    // frames in place; otherwise, and while the ring is not configured, nothing happens and the
    // answer is false (the writer then lays the frames out itself and calls Write).
    bool WriteFrames(uint32_t in_uFrames, FrameProducer in_pfnProduce, void* in_pContext);
    // All or nothing: copies in_uBytes into out_pDestination and returns true only when the ring
    // holds at least that many; otherwise leaves the destination as it was and returns false.
    bool Read(uint32_t in_uBytes, void* out_pDestination);

    // Drops the oldest in_uBytes unread bytes (all of them when the ring holds fewer), as a reader
    // that has nowhere to play them takes them. Returns how many were dropped.
    uint32_t Discard(uint32_t in_uBytes);

    uint32_t BytesAvailable() const;
    uint32_t BytesFree() const;
    // Empties the ring: the storage is zeroed, both positions go to 0.
    void Reset();

private:
    void UpdateFrameSizes();
    // Moves the write position on by in_uCopied bytes just written and counts them.
    void AccountWritten(uint64_t in_uCopied);
    void CopyIn(uint32_t in_uPosition, const uint8_t* in_pSource, uint32_t in_uBytes);
    void CopyOut(uint32_t in_uPosition, uint8_t* out_pDestination, uint32_t in_uBytes) const;

    ZV::IPluginMemAlloc* m_pAllocator;  // not owned
    RingFormat m_writerFormat;
    RingFormat m_readerFormat;
    uint8_t* m_pStorage;  // m_uCapacity bytes, owned
    uint32_t m_uCapacity;
    uint32_t m_uReadPos;   // offset of the oldest unread byte
    uint32_t m_uWritePos;  // offset where the next frame is written
    uint32_t m_uFree;      // unread bytes = m_uCapacity - m_uFree
    mutable CRITICAL_SECTION m_lock;
    uint32_t m_uWriterFrameBytes;  // 0 = not configured
    uint32_t m_uReaderFrameBytes;  // 0 = not configured
    bool m_bLockReady;
};
