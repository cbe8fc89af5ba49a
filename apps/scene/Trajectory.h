// Where a voice is at a given time: linear between the points of its trajectory (in azimuth,
// elevation and distance, so an azimuth running from 0 to 360 goes once round the listener), held
// before the first point and after the last.
#pragma once

#include <vector>

#include "SceneDescription.h"

namespace scene {

struct Direction {
    double fAzimuth = 0.0;    // degrees, positive to the right
    double fElevation = 0.0;  // degrees, positive upwards
    double fDistance = 1.0;   // metres
};

Direction PositionAt(const std::vector<TrajectoryPoint>& in_trajectory, double in_fTime);

}  // namespace scene
