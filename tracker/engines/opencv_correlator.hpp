#pragma once

#include <memory>

#include "tracker/correlator.hpp"

namespace wyr::zok {

// The reference engine: cv::matchTemplate itself.
std::unique_ptr<Correlator> makeOpenCvCorrelator(int method);

// cv::matchTemplate, except where OpenCV 4.6 raises on a valid input: a weighted
// cv::TM_CCOEFF_NORMED of one channel whose response is 4 rows by 1 column, which its
// arithmetic takes for a scalar and refuses. That response is computed on the transposed
// inputs and transposed back: the same correlation, summed in another order.
void matchTemplateChecked(const cv::Mat& window, const cv::Mat& templ, cv::Mat& response,
                          int method, const cv::Mat& weights);

} // namespace wyr::zok
