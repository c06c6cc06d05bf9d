#pragma once

#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace zok_gst {

// Where a track is to start: a box, or a centre offset from the frame's centre with half-sizes
// (the box of 2 * half + 1 pixels each way around it).
struct StartRequest {
    bool fromOffset = false;
    cv::Rect box;
    cv::Point offset;
    cv::Size half;
};

// Text of `count` comma-separated decimal integers, each within +-(INT_MAX / 4) so that sums of
// a few stay in int. Spaces around each are allowed. Returns nothing for anything else.
std::optional<std::vector<int>> parseIntegers(const std::string& text, size_t count);

// "x,y,w,h" with w and h positive; otherwise nothing, and `why` says what was expected.
std::optional<cv::Rect> parseBox(const std::string& text, std::string& why);
// "x,y"; otherwise nothing, and `why` says what was expected.
std::optional<cv::Point> parseOffset(const std::string& text, std::string& why);
// "w,h" with neither negative; otherwise nothing, and `why` says what was expected.
std::optional<cv::Size> parseHalfSize(const std::string& text, std::string& why);

} // namespace zok_gst
