#pragma once

#include <cmath>

#include <opencv2/core.hpp>

namespace wyr::zok {

inline constexpr double DEG_PER_RAD = 180.0 / CV_PI;

// Focal length in pixels of a pinhole camera whose `extent` pixels span `fovDegrees`.
inline double focalLength(double extent, double fovDegrees) {
    return 0.5 * extent / std::tan(0.5 * fovDegrees / DEG_PER_RAD);
}

// The field of view, in degrees, that `extent` pixels span at focal length `focal` pixels: the
// inverse of focalLength.
inline double fieldOfView(double extent, double focal) {
    return 2.0 * std::atan(0.5 * extent / focal) * DEG_PER_RAD;
}

} // namespace wyr::zok
