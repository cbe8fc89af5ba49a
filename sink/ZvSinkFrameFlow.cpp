// The sink's frame operations, on the host's audio thread: whether the device wants a buffer, the
// hand-over of one buffer of the engine's mix, and the end of the frame.
#include <string.h>

#include "AssertHook.h"
#include "ZvChannelLayout.h"
#include "ZvSinkISAC.h"

namespace {
constexpr const char* kSource = "ZvSinkISAC";
}  // namespace

ZvResult ZvSinkISAC::IsDataNeeded(uint32_t& out_uBuffersNeeded) {
    if (m_pRing == nullptr) {
        out_uBuffersNeeded = 0;
    } else if (m_eStreamState.load(std::memory_order_acquire) == StreamLost) {
        // A lost stream stops the worker from draining the ring, which the host filled before
        // the loss; a host that runs frames only when asked would then never call the
        // ConsumeFrame that re-opens the stream. Ask for that one frame.
        out_uBuffersNeeded = 1;
    } else {
        // One more host buffer fits only while strictly more than one is free.
        out_uBuffersNeeded = m_pRing->BytesFree() > m_uSlotBytes ? 1u : 0u;
    }
    return ZV_Success;
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

    switch (m_eStreamState.load(std::memory_order_acquire)) {
        case StreamRunning:
            if (m_pParams != nullptr) {
                const float fDirectGain = m_pParams->GetDirectGain();
                in_gain.fPrev *= fDirectGain;
                in_gain.fNext *= fDirectGain;
            }
            InterleaveIntoSlot(*in_pBuffer, uFrames, in_gain);
            WriteCurrentSlot(uFrames);
            m_bFrameConsumed = true;
            break;
        case StreamLost:
            // The worker has let go of the stream: open a new one. This buffer is not kept, and
            // OnFrameEnd writes silence for the frame. A failed open leaves the sink closed, and
            // nothing tries again.
            m_eStreamState.store(StreamClosed, std::memory_order_relaxed);
            OpenSpatialStream();
            break;
        default:
            break;
    }
}

void ZvSinkISAC::InterleaveIntoSlot(const ZvSampleBuffer& in_buffer, uint32_t in_uFrames,
                                    ZvVolumeRamp in_gain) {
    float* const pSlot = m_pSlots[m_uCurrentSlot];
    const uint32_t uStride = m_channelLayout.uNumChannels;
    const uint32_t uSinkMask = m_channelLayout.uChannelMask;
    const uint32_t uBufferMask = in_buffer.channelConfig.uChannelMask;
    const float fStep = (in_gain.fNext - in_gain.fPrev) / static_cast<float>(in_uFrames);

    // Walk the speakers up to the sink's highest one. uOut counts the sink's channels (its
    // interleaved column), uIn the buffer's speakers in mask order; the buffer stores its
    // low-frequency channel last, which the pipeline index accounts for. A layout whose channel
    // count is below its mask's speakers never gets a column past its count.
    uint32_t uOut = 0;
    uint32_t uIn = 0;
    for (uint32_t uBit = 0; uBit < 20 && (uSinkMask >> uBit) != 0 && uOut < uStride; ++uBit) {
        const uint32_t uSpeaker = 1u << uBit;
        const bool bInBuffer = (uBufferMask & uSpeaker) != 0;
        if ((uSinkMask & uSpeaker) != 0) {
            float* const pOut = pSlot + uOut;
            const float* pIn = nullptr;
            if (bInBuffer) {
                const uint32_t uChannel =
                    ZV::MaskOrderToPipelineIndex(in_buffer.channelConfig, uIn);
                // A channel the buffer does not hold is played as silence.
                pIn = in_buffer.pData != nullptr ? in_buffer.FindChannel(uChannel) : nullptr;
            }
            if (pIn != nullptr) {
                float fGain = in_gain.fPrev;
                for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
                    pOut[static_cast<size_t>(uFrame) * uStride] = fGain * pIn[uFrame];
                    fGain += fStep;
                }
            } else {
                for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
                    pOut[static_cast<size_t>(uFrame) * uStride] = 0.0f;
                }
            }
            ++uOut;
        }
        if (bInBuffer) {
            ++uIn;
        }
    }
}

void ZvSinkISAC::WriteCurrentSlot(uint32_t in_uFrames) {
    m_pRing->Write(uint32_t{m_uFrameBytes} * in_uFrames, m_pSlots[m_uCurrentSlot]);
    ++m_uCurrentSlot;
    if (m_uCurrentSlot >= m_iNumSlots) {
        m_uCurrentSlot = 0;
    }
}

void ZvSinkISAC::OnFrameEnd() {
    if (m_pRing != nullptr && !m_bFrameConsumed) {
        // A frame that handed nothing over still moves the ring on by one silent host buffer.
        memset(m_pSlots[m_uCurrentSlot], 0, m_uSlotBytes);
        WriteCurrentSlot(m_uFramesPerBuffer);
    }
    m_bFrameConsumed = false;
}
