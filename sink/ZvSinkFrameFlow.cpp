// The sink's frame operations, on the host's audio thread: whether the device wants a buffer, the
// hand-over of one buffer of the engine's mix, and the end of the frame.
#include <string.h>

#include "AssertHook.h"
#include "FrameInterleaver.h"
#include "StreamHandOver.h"
#include "ZvChannelLayout.h"
#include "ZvSinkISAC.h"

namespace {
constexpr const char* kSource = "ZvSinkISAC";
}  // namespace

ZvResult ZvSinkISAC::IsDataNeeded(uint32_t& out_uBuffersNeeded) {
    // A frame starts here: a stream the worker re-opened starts with it.
    TakeReopenedStream();
    // The host keeps one period plus one host buffer queued (PacingSizes.h says why): it renders
    // one more buffer while the ring holds less. The worker takes a period out of the ring for
    // every period of time, stream or not, so the answer is 1 again within a period.
    out_uBuffersNeeded =
        m_pRing != nullptr &&
                m_pRing->BytesAvailable() <
                    uint64_t{m_uQueueFrames.load(std::memory_order_relaxed)} * m_uFrameBytes
            ? 1u
            : 0u;
    return ZV_Success;
}

void ZvSinkISAC::TakeReopenedStream() {
    if (m_pRing != nullptr) {
        TakeOpenedStream(m_eStreamState, *m_pRing);
    }
}

void ZvSinkISAC::ConsumeFrame(ZvSampleBuffer* in_pBuffer, ZvVolumeRamp in_gain) {
    ZV_CHECK(kSource, in_pBuffer != NULL);
    if (in_pBuffer == nullptr || m_pRing == nullptr) {
        return;
    }
    // A buffer is used only as far as it holds frames, and never beyond one host buffer: the
    // slot holds no more.
    uint32_t uFrames = in_pBuffer->uValidFrames;
    if (uFrames > in_pBuffer->MaxFrames()) {
        uFrames = in_pBuffer->MaxFrames();
    }
    if (uFrames > m_uFramesPerBuffer) {
        uFrames = m_uFramesPerBuffer;
    }
    if (uFrames == 0) {
        return;
    }

    // For a host that hands a buffer over without asking IsDataNeeded first.
    TakeReopenedStream();
    if (m_eStreamState.load(std::memory_order_acquire) != StreamRunning) {
        // No stream plays it: the buffer is not kept, and OnFrameEnd writes silence.
        return;
    }
    if (m_pParams != nullptr) {
        const float fDirectGain = m_pParams->GetDirectGain();
        in_gain.fPrev *= fDirectGain;
        in_gain.fNext *= fDirectGain;
    }
    HandOver(*in_pBuffer, uFrames, in_gain);
    m_bFrameConsumed = true;
}

namespace {

// One host buffer on its way into the ring: which buffer channel feeds each of the sink's
// interleaved columns (null: silence), and the ramp.
struct SinkFrames {
    const float* apSources[kMaxInterleaveColumns];
    uint32_t uColumns;
    float fGain;
    float fGainStep;
};

void ProduceSinkFrames(void* in_pContext, uint32_t in_uFirstFrame, uint32_t in_uFrames,
                       uint8_t* out_pDestination) {
    const SinkFrames& frames = *static_cast<const SinkFrames*>(in_pContext);
    InterleaveFramesRamped(frames.apSources, frames.uColumns, in_uFirstFrame, in_uFrames,
                           frames.fGain, frames.fGainStep,
                           reinterpret_cast<float*>(out_pDestination));
}

}  // namespace

void ZvSinkISAC::HandOver(const ZvSampleBuffer& in_buffer, uint32_t in_uFrames,
                          ZvVolumeRamp in_gain) {
    const uint32_t uStride = m_channelLayout.uNumChannels;
    const uint32_t uSinkMask = m_channelLayout.uChannelMask;
    const uint32_t uBufferMask = in_buffer.channelConfig.uChannelMask;

    // Which buffer channel feeds each of the sink's columns: walk the speakers up to the sink's
    // highest one. uOut counts the sink's channels (its interleaved column), uIn the buffer's
    // speakers in mask order; the buffer stores its low-frequency channel last, which the pipeline
    // index accounts for. A speaker the buffer lacks, a channel it does not hold, and a column
    // past the sink's speakers (a layout with more channels than speaker bits) play silence.
    SinkFrames frames = {};
    frames.uColumns = uStride;
    uint32_t uOut = 0;
    uint32_t uIn = 0;
    for (uint32_t uBit = 0; uBit < 20 && (uSinkMask >> uBit) != 0 && uOut < uStride; ++uBit) {
        const uint32_t uSpeaker = 1u << uBit;
        const bool bInBuffer = (uBufferMask & uSpeaker) != 0;
        if ((uSinkMask & uSpeaker) != 0) {
            if (bInBuffer && in_buffer.pData != nullptr) {
                frames.apSources[uOut] = in_buffer.FindChannel(
                    ZV::MaskOrderToPipelineIndex(in_buffer.channelConfig, uIn));
            }
            ++uOut;
        }
        if (bInBuffer) {
            ++uIn;
        }
    }
    // The ramp's gain at frame k is fPrev + k * (fNext - fPrev) / n, the host's own rule.
    frames.fGain = in_gain.fPrev;
    frames.fGainStep = (in_gain.fNext - in_gain.fPrev) / static_cast<float>(in_uFrames);

    // The frames go straight into the ring, the interleaving being their one pass through
    // memory; a ring that cannot take them in place gets them through the current slot.
    if (!m_pRing->WriteFrames(in_uFrames, &ProduceSinkFrames, &frames)) {
        ProduceSinkFrames(&frames, 0, in_uFrames,
                          reinterpret_cast<uint8_t*>(m_pSlots[m_uCurrentSlot]));
        m_pRing->Write(uint32_t{m_uFrameBytes} * in_uFrames, m_pSlots[m_uCurrentSlot]);
    }
    NextSlot();
}

void ZvSinkISAC::NextSlot() {
    ++m_uCurrentSlot;
    if (m_uCurrentSlot >= m_iNumSlots) {
        m_uCurrentSlot = 0;
    }
}

void ZvSinkISAC::OnFrameEnd() {
    if (m_pRing == nullptr) {
        return;
    }
    m_reopen.CountBuffer();
    if (!m_bFrameConsumed) {
        // A frame that handed nothing over still moves the ring on by one silent host buffer.
        memset(m_pSlots[m_uCurrentSlot], 0, m_uSlotBytes);
        m_pRing->Write(uint32_t{m_uFrameBytes} * m_uFramesPerBuffer, m_pSlots[m_uCurrentSlot]);
        NextSlot();
    }
    m_bFrameConsumed = false;
}
