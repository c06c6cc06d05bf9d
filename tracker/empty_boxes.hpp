#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// Marks with NaN every position of `response` (CV_32FC1, one score per template position inside
// `window`) where the window's pixels under `support`, a region of the template, are all
// exactly zero in every channel: there the correlation has nothing to normalise by, and what an
// engine computes is rounding. The test counts non-zero pixels in integers, so it is exact for
// every depth.
void markEmptyBoxes(const cv::Mat& window, const cv::Rect& support, cv::Mat& response);

// The smallest region of a weight mask (CV_32FC1) that holds all its positive weights; empty
// when none is positive (a NaN mask, say) and for an empty mask.
cv::Rect weightSupport(const cv::Mat& mask);

} // namespace wyr::zok
