// How a host's audio thread takes over a stream that its plug-in's render worker re-opened.
//
// The worker opens the new stream away from the audio thread (opening one can hold a thread for
// tens of milliseconds) and publishes it as StreamOpened; at its next frame the audio thread
// empties the ring, so that nothing the engine rendered before the re-open is played by the new
// stream, and makes it StreamRunning, unless the worker has lost it again meanwhile (the exchange
// then does nothing). The worker reads the ring again only once it sees StreamRunning.
#pragma once

#include <stdint.h>

#include <atomic>

#include "CBuffer.h"
#include "StreamState.h"

inline void TakeOpenedStream(std::atomic<int32_t>& io_eState, CBuffer& io_ring) {
    if (io_eState.load(std::memory_order_acquire) != StreamOpened) {
        return;
    }
    io_ring.Reset();
    int32_t eExpected = StreamOpened;
    io_eState.compare_exchange_strong(eExpected, StreamRunning, std::memory_order_acq_rel,
                                      std::memory_order_acquire);
}
