#include "HrtfSet.h"

#include <algorithm>
#include <cmath>

#include <mysofa.h>

namespace scene {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr int kGridDegrees = 2;
constexpr size_t kFadeTaps = 32;

}  // namespace

HrtfSet::~HrtfSet() {
    if (m_pEasy != nullptr) {
        mysofa_close(m_pEasy);
    }
}

bool HrtfSet::Open(const std::string& in_path, uint32_t in_uSampleRate, size_t in_uFftSize,
                   size_t in_uMaxTaps, std::string& out_error) {
    int iFilterLength = 0;
    int iError = 0;
    m_pEasy =
        mysofa_open(in_path.c_str(), static_cast<float>(in_uSampleRate), &iFilterLength, &iError);
    if (m_pEasy == nullptr || iError != MYSOFA_OK || iFilterLength <= 0) {
        out_error = "cannot read the SOFA file " + in_path + " (libmysofa error " +
                    std::to_string(iError) + ")";
        if (m_pEasy != nullptr) {
            mysofa_close(m_pEasy);
            m_pEasy = nullptr;
        }
        return false;
    }
    m_uSampleRate = in_uSampleRate;
    m_uFileTaps = static_cast<size_t>(iFilterLength);
    m_uTaps = std::min(m_uFileTaps, in_uMaxTaps);
    m_pFft = std::make_unique<RealFft>(in_uFftSize);
    m_left.resize(m_uFileTaps);
    m_right.resize(m_uFileTaps);
    m_padded.assign(in_uFftSize, 0.0f);
    return true;
}

HrtfSet::Spectra HrtfSet::SpectraFor(double in_fAzimuth, double in_fElevation) {
    int iAzimuth = static_cast<int>(std::lround(in_fAzimuth / kGridDegrees)) * kGridDegrees;
    iAzimuth = ((iAzimuth % 360) + 360) % 360;
    const int iElevation =
        static_cast<int>(std::lround(std::clamp(in_fElevation, -90.0, 90.0) / kGridDegrees)) *
        kGridDegrees;
    const int32_t iKey = iAzimuth * 1000 + (iElevation + 90);
    auto it = m_cache.find(iKey);
    if (it == m_cache.end()) {
        // SOFA's frame: x ahead, y left, z up.
        const double fAzimuth = iAzimuth * kRadiansPerDegree;
        const double fElevation = iElevation * kRadiansPerDegree;
        const float fX = static_cast<float>(std::cos(fAzimuth) * std::cos(fElevation));
        const float fY = static_cast<float>(-std::sin(fAzimuth) * std::cos(fElevation));
        const float fZ = static_cast<float>(std::sin(fElevation));
        float fDelayLeft = 0.0f;
        float fDelayRight = 0.0f;
        mysofa_getfilter_float(m_pEasy, fX, fY, fZ, m_left.data(), m_right.data(), &fDelayLeft,
                               &fDelayRight);
        const size_t uBins = m_pFft->Bins();
        std::vector<std::complex<float>> spectra(2 * uBins);
        const float* apSources[2] = {m_left.data(), m_right.data()};
        const float aDelays[2] = {fDelayLeft, fDelayRight};
        for (int iEar = 0; iEar < 2; ++iEar) {
            std::fill(m_padded.begin(), m_padded.end(), 0.0f);
            // Sets that keep their interaural delays apart give them in seconds: put them back
            // as whole samples, within the taps the convolution has room for.
            const size_t uDelay = static_cast<size_t>(
                std::lround(std::max(0.0f, aDelays[iEar]) * static_cast<float>(m_uSampleRate)));
            for (size_t uTap = 0; uTap + uDelay < m_uTaps && uTap < m_uFileTaps; ++uTap) {
                float fValue = apSources[iEar][uTap];
                const size_t uPosition = uTap + uDelay;
                if (m_uTaps < m_uFileTaps && uPosition + kFadeTaps >= m_uTaps) {
                    fValue *= static_cast<float>(m_uTaps - uPosition) / kFadeTaps;
                }
                m_padded[uPosition] = fValue;
            }
            m_pFft->Forward(m_padded.data(), spectra.data() + iEar * uBins);
        }
        it = m_cache.emplace(iKey, std::move(spectra)).first;
    }
    return Spectra{it->second.data(), it->second.data() + m_pFft->Bins()};
}

}  // namespace scene
