// Vector-base amplitude panning over the 7.1.4 speakers: a direction's gains come from the
// triangle of speakers that encloses it, normalised to constant power (the squares add up to 1).
//
// The mesh covers the whole sphere: the eleven full-range speakers, plus a virtual speaker
// straight above (its gain shared by the four top speakers) and one straight below (shared by the
// seven ear-level speakers), so that a source overhead or below the listener still has a triangle.
// The low-frequency channel never gets a panned source.
#pragma once

#include <array>
#include <vector>

#include "SpeakerLayout.h"

namespace scene {

typedef std::array<float, kSpeakerChannels> SpeakerGains;

class VbapPanner {
public:
    VbapPanner();

    // The gains of a source in direction (in_fAzimuth, in_fElevation), degrees.
    SpeakerGains Gains(double in_fAzimuth, double in_fElevation) const;

private:
    struct Triangle {
        int aSpeakers[3];
        double aInverse[3][3];  // rows: the inverse of the matrix whose rows are the speakers
    };
    std::vector<Triangle> m_triangles;
};

}  // namespace scene
