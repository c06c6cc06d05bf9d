#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// The tracker's one correlation: normalised cross-correlation (cv::TM_CCORR_NORMED) of `templ`
// at every position inside `window`, weighted per pixel by `weights` when it is not empty. The
// response has (window - templ + 1) columns and rows. Every search goes through here, so a faster
// engine can replace it without touching the search logic.
cv::Mat correlate(const cv::Mat& window, const cv::Mat& templ, const cv::Mat& weights);

} // namespace wyr::zok
