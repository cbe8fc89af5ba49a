// The mixer's current render stream, shared between the host's audio thread and the render
// worker.
//
// The audio thread holds the mixer's reference and replaces it (the reset of a lost stream); the
// render worker borrows the stream for one cycle with a reference of its own, and only while it is
// StreamRunning. The audio thread takes a lost stream away only while the worker has borrowed
// nothing, so that the stream and the renderer's objects the worker keeps for it are really gone
// before a new activation asks the renderer for its dynamic objects.
//
// Threads: m_lock guards m_pCurrent (written by the audio thread, which may read it without the
// lock since it is the only writer) and m_pBorrowed (written by the worker). The lock is held only
// for the pointer changes and the reference counts; nothing waits while holding it.
#pragma once

#include <windows.h>

#include "MixerRenderStream.h"

class SharedRenderStream {
public:
    SharedRenderStream() = default;
    ~SharedRenderStream();
    SharedRenderStream(const SharedRenderStream&) = delete;
    SharedRenderStream& operator=(const SharedRenderStream&) = delete;

    // Sets up the lock; false when it cannot be had.
    bool Init();

    // Audio thread.
    MixerRenderStream* Current() const { return m_pCurrent; }
    // Installs in_pStream (taking over the caller's reference) and returns the one held before,
    // with its reference.
    MixerRenderStream* Exchange(MixerRenderStream* in_pStream);
    // Takes the current stream away (with the mixer's reference) unless the worker has borrowed
    // it; false, and nothing changed, while it has.
    bool TakeUnlessBorrowed(MixerRenderStream*& out_rpStream);

    // Whether the worker holds a stream for its cycle right now.
    bool IsBorrowed() const;

    // Render worker. The current stream with a reference, when it is StreamRunning; null
    // otherwise.
    MixerRenderStream* Borrow();
    // Gives back what Borrow returned.
    void GiveBack(MixerRenderStream* in_pStream);

private:
    void Lock() const;
    void Unlock() const;

    mutable CRITICAL_SECTION m_lock;
    bool m_bLockReady = false;
    MixerRenderStream* m_pCurrent = nullptr;   // the mixer's reference
    MixerRenderStream* m_pBorrowed = nullptr;  // the worker's reference for its cycle
};
