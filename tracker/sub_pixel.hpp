#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

struct RefinedPeak {
    bool refined = false; // false when the peak is too close to the border to refine
    double value = 0.0;   // the refined score; 0.0 when no refinement was possible
    cv::Point offset{0,
                     0}; // in 1/zoomFactor pixel steps, each within -(zoomFactor-1)..zoomFactor-1
};

// Refines a response peak to 1/zoomFactor of a pixel: the 5 x 5 neighbourhood of the peak is
// enlarged with bicubic interpolation and the best value within one pixel of the centre is taken.
// A peak closer than 2 pixels to the response's border cannot be refined.
RefinedPeak refineSubPixel(const cv::Mat& response, const cv::Point& peak, int zoomFactor);

// Moves whole pixels out of a sub-pixel remainder: afterwards |remainder| <= zoomFactor / 2 and
// `pixel` has absorbed the difference.
void carrySubPixel(int& remainder, int& pixel, int zoomFactor);

} // namespace wyr::zok
