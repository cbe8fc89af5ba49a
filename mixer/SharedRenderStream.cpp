#include "SharedRenderStream.h"

SharedRenderStream::~SharedRenderStream() {
    if (m_pCurrent != nullptr) {
        m_pCurrent->Release();
        m_pCurrent = nullptr;
    }
    if (m_bLockReady) {
        DeleteCriticalSection(&m_lock);
        m_bLockReady = false;
    }
}

bool SharedRenderStream::Init() {
    if (!m_bLockReady) {
        m_bLockReady = InitializeCriticalSectionEx(&m_lock, 0, 0) != FALSE;
    }
    return m_bLockReady;
}

// Without a lock there is no worker (the mixer does not start one), so nothing else can touch
// the pointers.
void SharedRenderStream::Lock() const {
    if (m_bLockReady) {
        EnterCriticalSection(&m_lock);
    }
}

void SharedRenderStream::Unlock() const {
    if (m_bLockReady) {
        LeaveCriticalSection(&m_lock);
    }
}

MixerRenderStream* SharedRenderStream::Exchange(MixerRenderStream* in_pStream) {
    Lock();
    MixerRenderStream* pOld = m_pCurrent;
    m_pCurrent = in_pStream;
    Unlock();
    return pOld;
}

bool SharedRenderStream::TakeUnlessBorrowed(MixerRenderStream*& out_rpStream) {
    Lock();
    const bool bFree = m_pBorrowed == nullptr;
    out_rpStream = nullptr;
    if (bFree) {
        out_rpStream = m_pCurrent;
        m_pCurrent = nullptr;
    }
    Unlock();
    return bFree;
}

bool SharedRenderStream::IsBorrowed() const {
    Lock();
    const bool bBorrowed = m_pBorrowed != nullptr;
    Unlock();
    return bBorrowed;
}

MixerRenderStream* SharedRenderStream::Borrow() {
    Lock();
    MixerRenderStream* pStream = m_pCurrent;
    if (pStream != nullptr && pStream->State() == StreamRunning) {
        pStream->AddRef();
        m_pBorrowed = pStream;
    } else {
        pStream = nullptr;
    }
    Unlock();
    return pStream;
}

void SharedRenderStream::GiveBack(MixerRenderStream* in_pStream) {
    if (in_pStream == nullptr) {
        return;
    }
    // Released under the lock: once the audio thread sees nothing borrowed, the worker's
    // reference is gone too. It is never the last one (the audio thread does not let go of a
    // borrowed stream), so no platform object is released here.
    Lock();
    m_pBorrowed = nullptr;
    in_pStream->Release();
    Unlock();
}
