#include "HostGlobalContext.h"

#include <cstdio>

#include "ZvVectorClones.h"

namespace host {

namespace {

// Whether in_matrix fits a mix of in_uInputs into in_uOutputs channels.
bool MatrixFits(const ZV::SpeakerVolumeMatrix& in_matrix, uint32_t in_uInputs,
                uint32_t in_uOutputs) {
    return in_matrix.pVolumes != nullptr && in_matrix.uNumInputs == in_uInputs &&
           in_matrix.uNumOutputs == in_uOutputs;
}

// io_pDestination[f] += in_pSource[f] * volume(f) * gain(f), volume and gain each ramping
// linearly from their first value by their step per frame.
ZV_VECTOR_CLONES void AddRampedTwice(float* io_pDestination, const float* in_pSource,
                                     int32_t in_iFrames, float in_fGain, float in_fGainStep,
                                     float in_fVolume, float in_fVolumeStep) {
    for (int32_t iFrame = 0; iFrame < in_iFrames; ++iFrame) {
        const float fFrame = static_cast<float>(iFrame);
        const float fGain = in_fGain + in_fGainStep * fFrame;
        const float fVolume = in_fVolume + in_fVolumeStep * fFrame;
        io_pDestination[iFrame] += in_pSource[iFrame] * fVolume * fGain;
    }
}

}  // namespace

HostGlobalContext::HostGlobalContext(uint16_t in_uFramesPerBuffer, uint32_t in_uSampleRate)
    : m_uFramesPerBuffer(in_uFramesPerBuffer), m_uSampleRate(in_uSampleRate) {}

void HostGlobalContext::MixWithVolumes(const ZvSampleBuffer* in_pInput, ZvSampleBuffer* io_pOutput,
                                       float in_fPrevGain, float in_fNextGain,
                                       const ZV::SpeakerVolumeMatrix& in_prevVolumes,
                                       const ZV::SpeakerVolumeMatrix& in_nextVolumes) {
    m_uMixCalls.fetch_add(1, std::memory_order_relaxed);
    if (in_pInput == nullptr || io_pOutput == nullptr || in_pInput->pData == nullptr ||
        io_pOutput->pData == nullptr) {
        m_log.Record("MixWithVolumes: missing buffer");
        return;
    }
    const uint32_t uInputs = in_pInput->NumChannels();
    const uint32_t uOutputs = io_pOutput->NumChannels();
    if (!MatrixFits(in_prevVolumes, uInputs, uOutputs) ||
        !MatrixFits(in_nextVolumes, uInputs, uOutputs)) {
        char szMessage[128];
        std::snprintf(szMessage, sizeof(szMessage),
                      "MixWithVolumes: matrices %ux%u and %ux%u for a mix of %u into %u channels",
                      in_prevVolumes.uNumInputs, in_prevVolumes.uNumOutputs,
                      in_nextVolumes.uNumInputs, in_nextVolumes.uNumOutputs, uInputs, uOutputs);
        m_log.Record(szMessage);
        return;
    }
    const uint32_t uFrames = in_pInput->uValidFrames;
    if (uFrames > in_pInput->uMaxFrames || uFrames > io_pOutput->uMaxFrames) {
        m_log.Record("MixWithVolumes: more valid frames than a buffer holds");
        return;
    }
    if (uFrames == 0) {
        return;
    }

    const uint32_t uStride = ZV::SpeakerVolumeRowStride(uOutputs);
    const float fGainStep = (in_fNextGain - in_fPrevGain) / static_cast<float>(uFrames);
    for (uint32_t uIn = 0; uIn < uInputs; ++uIn) {
        const float* pSource = in_pInput->pData + static_cast<size_t>(uIn) * in_pInput->uMaxFrames;
        for (uint32_t uOut = 0; uOut < uOutputs; ++uOut) {
            float* pDestination =
                io_pOutput->pData + static_cast<size_t>(uOut) * io_pOutput->uMaxFrames;
            const float fPrev = in_prevVolumes.pVolumes[uIn * uStride + uOut];
            const float fNext = in_nextVolumes.pVolumes[uIn * uStride + uOut];
            const float fVolumeStep = (fNext - fPrev) / static_cast<float>(uFrames);
            AddRampedTwice(pDestination, pSource, static_cast<int32_t>(uFrames), in_fPrevGain,
                           fGainStep, fPrev, fVolumeStep);
        }
    }
}

void HostGlobalContext::AddChannelRamped(const float* in_pSource, float* io_pDestination,
                                         float in_fPrevGain, float in_fNextGain,
                                         uint32_t in_uFrames) {
    m_uAddCalls.fetch_add(1, std::memory_order_relaxed);
    if (in_uFrames == 0) {
        return;
    }
    if (in_pSource == nullptr || io_pDestination == nullptr) {
        m_log.Record("AddChannelRamped: missing channel");
        return;
    }
    const float fStep = (in_fNextGain - in_fPrevGain) / static_cast<float>(in_uFrames);
    if (fStep == 0.0f) {
        // A flat ramp: fStep * t is a zero of one sign for every t, so every frame's gain is
        // the first frame's, bit for bit. The common case, and a loop the compiler makes plain.
        const float fGain = in_fPrevGain + fStep * 0.0f;
        for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
            io_pDestination[uFrame] += in_pSource[uFrame] * fGain;
        }
        return;
    }
    // Frame counts are 16-bit: the signed conversion gives the same floats and vectorises.
    for (uint32_t uFrame = 0; uFrame < in_uFrames; ++uFrame) {
        const float fFrame = static_cast<float>(static_cast<int32_t>(uFrame));
        io_pDestination[uFrame] += in_pSource[uFrame] * (in_fPrevGain + fStep * fFrame);
    }
}

void HostGlobalContext::Unexpected(const char* in_pszSlot) {
    m_log.Record(std::string("IGlobalPluginContext::") + in_pszSlot + " is not for plug-ins");
}

}  // namespace host
