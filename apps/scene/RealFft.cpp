#include "RealFft.h"

#include <cstring>
#include <mutex>

#include <fftw3.h>

namespace scene {

namespace {

std::mutex& PlannerMutex() {
    static std::mutex s_mutex;
    return s_mutex;
}

}  // namespace

RealFft::RealFft(size_t in_uSize) : m_uSize(in_uSize) {
    std::lock_guard<std::mutex> lock(PlannerMutex());
    m_pTime = fftwf_alloc_real(m_uSize);
    fftwf_complex* pBins = fftwf_alloc_complex(Bins());
    m_pBins = pBins;
    // (Keeping the input is the default for a real-to-complex transform out of place; said here
    // because callers rely on it.)
    m_pForward = fftwf_plan_dft_r2c_1d(static_cast<int>(m_uSize), m_pTime, pBins,
                                       FFTW_ESTIMATE | FFTW_PRESERVE_INPUT);
    m_pInverse = fftwf_plan_dft_c2r_1d(static_cast<int>(m_uSize), pBins, m_pTime, FFTW_ESTIMATE);
}

RealFft::~RealFft() {
    std::lock_guard<std::mutex> lock(PlannerMutex());
    fftwf_destroy_plan(static_cast<fftwf_plan>(m_pForward));
    fftwf_destroy_plan(static_cast<fftwf_plan>(m_pInverse));
    fftwf_free(m_pTime);
    fftwf_free(m_pBins);
}

void RealFft::Forward(const float* in_pTime, std::complex<float>* out_pBins) {
    std::memcpy(m_pTime, in_pTime, m_uSize * sizeof(float));
    RunForward();
    std::memcpy(static_cast<void*>(out_pBins), m_pBins, Bins() * sizeof(fftwf_complex));
}

void RealFft::Inverse(const std::complex<float>* in_pBins, float* out_pTime) {
    // The inverse overwrites its input: it works on the object's own copy.
    std::memcpy(m_pBins, static_cast<const void*>(in_pBins), Bins() * sizeof(fftwf_complex));
    RunInverse();
    std::memcpy(out_pTime, m_pTime, m_uSize * sizeof(float));
}

void RealFft::RunForward() {
    fftwf_execute(static_cast<fftwf_plan>(m_pForward));
}

void RealFft::RunInverse() {
    fftwf_execute(static_cast<fftwf_plan>(m_pInverse));
}

}  // namespace scene
