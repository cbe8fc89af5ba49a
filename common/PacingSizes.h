// How much audio the sink and the effect hold between the engine and the renderer, for every
// pacing a real engine produces: host buffers of any size, bursts of host frames as the sink asks
// for them, any renderer period up to kLargestPeriodFrames (and a period that changes at a
// re-open), and an engine thread that wakes up to half a host buffer late.
//
// The sink's queue. The engine renders a buffer whenever the sink asks; the sink asks while its
// ring holds less than one period plus a margin of one host buffer (at least kMarginFrames). So
// after the engine's wake the ring holds at least a period plus the margin and less than that plus
// one buffer. Until the next wake (at most one host buffer of time later, a late wake included)
// the renderer takes at most one buffer and one period of time's worth of whole periods, so every
// pass finds a whole period; and no frame waits longer than a period, the margin and a buffer
// (the added latency: a period plus two host buffers from 256 frames up). Host buffers smaller
// than kMarginFrames would leave an engine thread no more than a millisecond or two of
// scheduling slack; they queue kMarginFrames instead.
//
// The effect sees the same buffers as the sink (one per host frame), so its ring holds what the
// sink's holds, plus what a renderer that is late for a pass leaves in it.
#pragma once

#include <stdint.h>

// Rings and scratches are sized for this period at least at InitPlugin, so that a re-opened
// endpoint with another period up to it needs no memory (Windows Sonic's periods are 480 or 441
// frames; 4096 frames is 85 ms at 48 kHz).
constexpr uint32_t kLargestPeriodFrames = 4096;

// The period that buffers are sized for: the opened stream's, or kLargestPeriodFrames if larger.
inline uint32_t SizingPeriodFrames(uint32_t in_uOpenedPeriod) {
    return in_uOpenedPeriod > kLargestPeriodFrames ? in_uOpenedPeriod : kLargestPeriodFrames;
}

// The least margin the sink's queue keeps beyond a period: 5.3 ms at 48 kHz.
constexpr uint32_t kMarginFrames = 256;

// The sink asks for a host buffer while its ring holds fewer frames than this.
inline uint64_t SinkQueueFrames(uint32_t in_uPeriodFrames, uint32_t in_uHostFrames) {
    return uint64_t{in_uPeriodFrames} +
           (in_uHostFrames > kMarginFrames ? in_uHostFrames : kMarginFrames);
}

// The longest a frame waits in the sink's queue before the renderer plays it.
inline uint64_t SinkLatencyBoundFrames(uint32_t in_uPeriodFrames, uint32_t in_uHostFrames) {
    return SinkQueueFrames(in_uPeriodFrames, in_uHostFrames) + in_uHostFrames;
}

// The sink's ring: the queue and the buffer that tops it up, for the largest period, in whole host
// buffers (the ring then takes every buffer in place), and never fewer than the slots the host
// queues.
inline uint64_t SinkRingFrames(uint32_t in_uSizingPeriod, uint32_t in_uHostFrames,
                               uint32_t in_uSlots) {
    const uint64_t uBuffers =
        (SinkLatencyBoundFrames(in_uSizingPeriod, in_uHostFrames) + in_uHostFrames - 1) /
        in_uHostFrames;
    return (uBuffers > in_uSlots ? uBuffers : in_uSlots) * in_uHostFrames;
}

// The effect's ring: a sink's whole queue (the engine may render a burst of that many frames
// between two passes), a period that a late renderer has not taken yet, and a host buffer, in
// whole host buffers. The host's slot count is not known to an effect: nine, the most a sink
// takes.
inline uint64_t EffectRingFrames(uint32_t in_uSizingPeriod, uint32_t in_uHostFrames) {
    return SinkRingFrames(in_uSizingPeriod, in_uHostFrames, 9) +
           (uint64_t{in_uSizingPeriod} + 2 * uint64_t{in_uHostFrames} - 1) / in_uHostFrames *
               in_uHostFrames;
}
