#include "VbapPanner.h"

#include <cmath>

namespace scene {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr int kZenith = 12;
constexpr int kNadir = 13;
constexpr int kMeshSpeakers = 14;

struct Vector3 {
    double x, y, z;
};

// Unit vector: x right, y ahead, z up.
Vector3 UnitVector(double in_fAzimuth, double in_fElevation) {
    const double fAzimuth = in_fAzimuth * kRadiansPerDegree;
    const double fElevation = in_fElevation * kRadiansPerDegree;
    return {std::sin(fAzimuth) * std::cos(fElevation), std::cos(fAzimuth) * std::cos(fElevation),
            std::sin(fElevation)};
}

Vector3 MeshSpeaker(int in_iIndex) {
    if (in_iIndex == kZenith) {
        return {0.0, 0.0, 1.0};
    }
    if (in_iIndex == kNadir) {
        return {0.0, 0.0, -1.0};
    }
    const SpeakerDirection direction = SpeakerDirectionOf(static_cast<uint32_t>(in_iIndex));
    return UnitVector(direction.fAzimuth, direction.fElevation);
}

// Channels: FL 0, FR 1, FC 2, BL 4, BR 5, SL 6, SR 7, TFL 8, TFR 9, TBL 10, TBR 11.
constexpr int kMesh[][3] = {
    // Front: FL, FC, FR under TFL and TFR.
    {0, 2, 8},
    {2, 9, 8},
    {2, 1, 9},
    // Right: FR, SR, BR under TFR and TBR.
    {1, 7, 9},
    {7, 11, 9},
    {7, 5, 11},
    // Back: BR, BL under TBR and TBL.
    {5, 4, 11},
    {4, 10, 11},
    // Left: BL, SL, FL under TBL and TFL.
    {4, 6, 10},
    {6, 8, 10},
    {6, 0, 8},
    // Top cap.
    {8, 9, kZenith},
    {9, 11, kZenith},
    {11, 10, kZenith},
    {10, 8, kZenith},
    // Bottom cap under the ear-level ring.
    {0, 2, kNadir},
    {2, 1, kNadir},
    {1, 7, kNadir},
    {7, 5, kNadir},
    {5, 4, kNadir},
    {4, 6, kNadir},
    {6, 0, kNadir},
};

}  // namespace

VbapPanner::VbapPanner() {
    for (const auto& aIndices : kMesh) {
        const Vector3 a = MeshSpeaker(aIndices[0]);
        const Vector3 b = MeshSpeaker(aIndices[1]);
        const Vector3 c = MeshSpeaker(aIndices[2]);
        // L has rows a, b, c; g = p * inverse(L) gives p = g0 a + g1 b + g2 c.
        const double m[3][3] = {{a.x, a.y, a.z}, {b.x, b.y, b.z}, {c.x, c.y, c.z}};
        const double fDet = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                            m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                            m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        Triangle triangle;
        for (int i = 0; i < 3; ++i) {
            triangle.aSpeakers[i] = aIndices[i];
        }
        const double fInv = 1.0 / fDet;
        triangle.aInverse[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * fInv;
        triangle.aInverse[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * fInv;
        triangle.aInverse[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * fInv;
        triangle.aInverse[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * fInv;
        triangle.aInverse[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * fInv;
        triangle.aInverse[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * fInv;
        triangle.aInverse[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * fInv;
        triangle.aInverse[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * fInv;
        triangle.aInverse[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * fInv;
        m_triangles.push_back(triangle);
    }
}

SpeakerGains VbapPanner::Gains(double in_fAzimuth, double in_fElevation) const {
    const Vector3 p = UnitVector(in_fAzimuth, in_fElevation);
    // The triangle whose smallest gain is largest encloses the direction (all gains >= 0).
    const Triangle* pBest = nullptr;
    double aBest[3] = {0, 0, 0};
    double fBestMin = -1e30;
    for (const Triangle& triangle : m_triangles) {
        double aGains[3];
        for (int j = 0; j < 3; ++j) {
            aGains[j] = p.x * triangle.aInverse[0][j] + p.y * triangle.aInverse[1][j] +
                        p.z * triangle.aInverse[2][j];
        }
        const double fMin = std::fmin(aGains[0], std::fmin(aGains[1], aGains[2]));
        if (fMin > fBestMin) {
            fBestMin = fMin;
            pBest = &triangle;
            for (int j = 0; j < 3; ++j) {
                aBest[j] = aGains[j];
            }
        }
    }

    double aMesh[kMeshSpeakers] = {};
    for (int j = 0; j < 3; ++j) {
        aMesh[pBest->aSpeakers[j]] += std::fmax(aBest[j], 0.0);
    }
    // The virtual speakers hand their gain on with constant power.
    static constexpr int kTops[] = {8, 9, 10, 11};
    static constexpr int kEarLevel[] = {0, 1, 2, 4, 5, 6, 7};
    for (int iTop : kTops) {
        aMesh[iTop] += aMesh[kZenith] / std::sqrt(4.0);
    }
    for (int iEar : kEarLevel) {
        aMesh[iEar] += aMesh[kNadir] / std::sqrt(7.0);
    }

    double fPower = 0.0;
    for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
        fPower += aMesh[uChannel] * aMesh[uChannel];
    }
    SpeakerGains gains{};
    const double fScale = fPower > 0.0 ? 1.0 / std::sqrt(fPower) : 0.0;
    for (uint32_t uChannel = 0; uChannel < kSpeakerChannels; ++uChannel) {
        gains[uChannel] = static_cast<float>(aMesh[uChannel] * fScale);
    }
    if (fPower == 0.0) {
        gains[2] = 1.0f;  // cannot happen on a closed mesh; straight ahead as a fallback
    }
    return gains;
}

}  // namespace scene
