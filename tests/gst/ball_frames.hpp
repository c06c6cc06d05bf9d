#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace zok_gst_test {

// The OpenCV type of frames in `format` (BGR, BGRx or GRAY8).
int typeOfFormat(const std::string& format);

// The first `count` frames of videotestsrc's moving ball in `caps`, which it draws the same
// on every run.
std::vector<cv::Mat> ballFrames(const std::string& caps, int count);

// The bounding box of the bright pixels: where videotestsrc draws its ball, or the box of a
// bright target on a dark frame.
cv::Rect brightBox(const cv::Mat& frame);

} // namespace zok_gst_test
