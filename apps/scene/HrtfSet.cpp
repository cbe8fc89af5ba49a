#include "HrtfSet.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <mysofa.h>

namespace scene {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr int kGridDegrees = 2;
constexpr int kAzimuthCells = 360 / kGridDegrees;
constexpr int kElevationCells = 180 / kGridDegrees + 1;
// Directions whose spectra a chunk holds (some 4 MB with 1024-point FFTs); a scene of a few
// moving sources visits a few hundred.
constexpr size_t kSlotsPerChunk = 512;
constexpr size_t kFadeTaps = 32;

// libmysofa's error codes in words; below its own range they are errno values.
std::string SofaError(int in_iError) {
    switch (in_iError) {
        case MYSOFA_INTERNAL_ERROR:
            return "libmysofa failed inside";
        case MYSOFA_INVALID_FORMAT:
            return "not a SOFA file (an HDF5 file of the SOFA conventions)";
        case MYSOFA_UNSUPPORTED_FORMAT:
            return "a SOFA variant that libmysofa does not read";
        case MYSOFA_NO_MEMORY:
            return "out of memory";
        case MYSOFA_READ_ERROR:
            return "the file ends early or cannot be read";
        case MYSOFA_INVALID_ATTRIBUTES:
            return "its attributes are not those of a SOFA file";
        case MYSOFA_INVALID_DIMENSIONS:
        case MYSOFA_INVALID_DIMENSION_LIST:
            return "its dimensions are not those of a SOFA file";
        case MYSOFA_INVALID_COORDINATE_TYPE:
            return "its coordinates are of an unknown type";
        case MYSOFA_ONLY_EMITTER_WITH_ECI_SUPPORTED:
        case MYSOFA_ONLY_DELAYS_WITH_IR_OR_MR_SUPPORTED:
        case MYSOFA_ONLY_THE_SAME_SAMPLING_RATE_SUPPORTED:
        case MYSOFA_RECEIVERS_WITH_RCI_SUPPORTED:
        case MYSOFA_RECEIVERS_WITH_CARTESIAN_SUPPORTED:
        case MYSOFA_INVALID_RECEIVER_POSITIONS:
        case MYSOFA_ONLY_SOURCES_WITH_MC_SUPPORTED:
            return "a layout of emitters, receivers or delays that libmysofa does not support "
                   "(libmysofa error " +
                   std::to_string(in_iError) + ")";
        default:
            break;
    }
    if (in_iError > 0 && in_iError < MYSOFA_INVALID_FORMAT) {
        return std::strerror(in_iError);
    }
    return "libmysofa error " + std::to_string(in_iError);
}

}  // namespace

bool HrtfSet::CheckFile(const std::string& in_path, std::string& out_error) {
    FILE* pFile = std::fopen(in_path.c_str(), "rb");
    if (pFile == nullptr) {
        out_error = "cannot open the SOFA file " + in_path + ": " + std::strerror(errno);
        return false;
    }
    unsigned char aMagic[8] = {};
    const size_t uRead = std::fread(aMagic, 1, sizeof(aMagic), pFile);
    const int iError = std::ferror(pFile) ? errno : 0;
    std::fclose(pFile);
    if (iError != 0) {
        out_error = "cannot read the SOFA file " + in_path + ": " + std::strerror(iError);
        return false;
    }
    static const unsigned char kHdf5[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1A, '\n'};
    if (uRead < sizeof(aMagic) || std::memcmp(aMagic, kHdf5, sizeof(kHdf5)) != 0) {
        out_error = in_path + " is not a SOFA file (it does not start as an HDF5 file)";
        return false;
    }
    return true;
}

HrtfSet::~HrtfSet() {
    if (m_pEasy != nullptr) {
        mysofa_close(m_pEasy);
    }
}

bool HrtfSet::Open(const std::string& in_path, uint32_t in_uSampleRate, size_t in_uFftSize,
                   size_t in_uMaxTaps, std::string& out_error) {
    if (!CheckFile(in_path, out_error)) {
        return false;
    }
    int iFilterLength = 0;
    int iError = 0;
    m_pEasy =
        mysofa_open(in_path.c_str(), static_cast<float>(in_uSampleRate), &iFilterLength, &iError);
    if (m_pEasy == nullptr || iError != MYSOFA_OK || iFilterLength <= 0) {
        out_error = "cannot read the SOFA file " + in_path + ": " + SofaError(iError);
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
    m_cellSlots.assign(size_t{kAzimuthCells} * kElevationCells, -1);
    m_chunks.clear();
    m_chunks.push_back(
        std::make_unique<std::complex<float>[]>(kSlotsPerChunk * 2 * m_pFft->Bins()));
    m_uDirections = 0;
    // The elevations measured (libmysofa holds the positions as Cartesian coordinates).
    const MYSOFA_ARRAY& positions = m_pEasy->hrtf->SourcePosition;
    m_fLowestElevation = 90.0;
    m_fHighestElevation = -90.0;
    for (unsigned uIndex = 0; uIndex + 2 < positions.elements; uIndex += 3) {
        const double fX = positions.values[uIndex];
        const double fY = positions.values[uIndex + 1];
        const double fZ = positions.values[uIndex + 2];
        const double fElevation = std::atan2(fZ, std::hypot(fX, fY)) / kRadiansPerDegree;
        m_fLowestElevation = std::min(m_fLowestElevation, fElevation);
        m_fHighestElevation = std::max(m_fHighestElevation, fElevation);
    }
    if (m_fLowestElevation > m_fHighestElevation) {
        m_fLowestElevation = -90.0;
        m_fHighestElevation = 90.0;
    }
    return true;
}

void HrtfSet::CoveredDirection(double in_fAzimuth, double in_fElevation, double& out_fAzimuth,
                               double& out_fElevation) const {
    out_fAzimuth = in_fAzimuth;
    out_fElevation = in_fElevation;
    const double fLimit = in_fElevation < m_fLowestElevation    ? m_fLowestElevation
                          : in_fElevation > m_fHighestElevation ? m_fHighestElevation
                                                                : in_fElevation;
    if (fLimit == in_fElevation) {
        return;
    }
    // x ahead, y to the right, z up. The lateral part y stays; z moves to the limit and x takes
    // what is left, on the side (front or back) the direction was on.
    const double fAzimuth = in_fAzimuth * kRadiansPerDegree;
    const double fElevation = in_fElevation * kRadiansPerDegree;
    const double fX = std::cos(fAzimuth) * std::cos(fElevation);
    const double fY = std::sin(fAzimuth) * std::cos(fElevation);
    const double fZ = std::sin(fLimit * kRadiansPerDegree);
    const double fRest = std::sqrt(std::max(0.0, 1.0 - fY * fY - fZ * fZ));
    out_fAzimuth = std::atan2(fY, fX < 0.0 ? -fRest : fRest) / kRadiansPerDegree;
    out_fElevation = fLimit;
}

std::complex<float>* HrtfSet::SlotSpectra(size_t in_uSlot) {
    return m_chunks[in_uSlot / kSlotsPerChunk].get() +
           (in_uSlot % kSlotsPerChunk) * 2 * m_pFft->Bins();
}

HrtfSet::Spectra HrtfSet::SpectraFor(double in_fAzimuth, double in_fElevation) {
    double fCoveredAzimuth = 0.0, fCoveredElevation = 0.0;
    CoveredDirection(std::fmod(in_fAzimuth, 360.0), std::clamp(in_fElevation, -90.0, 90.0),
                     fCoveredAzimuth, fCoveredElevation);
    int iAzimuth = static_cast<int>(std::lround(fCoveredAzimuth / kGridDegrees)) * kGridDegrees;
    iAzimuth = ((iAzimuth % 360) + 360) % 360;
    const int iElevation =
        static_cast<int>(std::lround(fCoveredElevation / kGridDegrees)) * kGridDegrees;
    const int32_t iKey = iAzimuth * 1000 + (iElevation + 90);
    const size_t uBins = m_pFft->Bins();
    int32_t& iSlot = m_cellSlots[static_cast<size_t>(iAzimuth / kGridDegrees) * kElevationCells +
                                 static_cast<size_t>((iElevation + 90) / kGridDegrees)];
    if (iSlot < 0) {
        if (m_uDirections == m_chunks.size() * kSlotsPerChunk) {
            m_chunks.push_back(std::make_unique<std::complex<float>[]>(kSlotsPerChunk * 2 * uBins));
        }
        iSlot = static_cast<int32_t>(m_uDirections++);
        std::complex<float>* pSpectra = SlotSpectra(static_cast<size_t>(iSlot));
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
            m_pFft->Forward(m_padded.data(), pSpectra + iEar * uBins);
        }
    }
    const std::complex<float>* pSpectra = SlotSpectra(static_cast<size_t>(iSlot));
    return Spectra{pSpectra, pSpectra + uBins, iKey};
}

}  // namespace scene
