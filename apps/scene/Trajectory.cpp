#include "Trajectory.h"

namespace scene {

Direction PositionAt(const std::vector<TrajectoryPoint>& in_trajectory, double in_fTime) {
    if (in_trajectory.empty()) {
        return Direction{};
    }
    const TrajectoryPoint* pBefore = &in_trajectory.front();
    if (in_fTime <= pBefore->fTime) {
        return Direction{pBefore->fAzimuth, pBefore->fElevation, pBefore->fDistance};
    }
    for (const TrajectoryPoint& point : in_trajectory) {
        if (point.fTime >= in_fTime) {
            const double fSpan = point.fTime - pBefore->fTime;
            const double fT = fSpan > 0.0 ? (in_fTime - pBefore->fTime) / fSpan : 1.0;
            return Direction{pBefore->fAzimuth + (point.fAzimuth - pBefore->fAzimuth) * fT,
                             pBefore->fElevation + (point.fElevation - pBefore->fElevation) * fT,
                             pBefore->fDistance + (point.fDistance - pBefore->fDistance) * fT};
        }
        pBefore = &point;
    }
    return Direction{pBefore->fAzimuth, pBefore->fElevation, pBefore->fDistance};
}

}  // namespace scene
