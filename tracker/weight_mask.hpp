#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// Gaussian weights (CV_32F, rows x cols) centred on pixel (rows >> 1, cols >> 1), with standard
// deviation e^sigmaExp times half the larger side. A box without rows or columns gives an empty
// mask, that is unweighted matching.
cv::Mat buildWeightMask(int rows, int cols, float sigmaExp);

} // namespace wyr::zok
