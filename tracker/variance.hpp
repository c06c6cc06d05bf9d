#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// How the texture of a patch is measured.
struct VarianceSettings {
    int kSize = 3;          // side of the box filter
    bool greyscale = false; // measure on a grey conversion of a BGR(A) patch
};

// Local variance |E[x^2] - E[x]^2| over kSize x kSize neighbourhoods, as 32-bit floats with the
// patch's size: one channel with greyscale, else the patch's channels. Pixel values keep their
// scale (0..255 for 8-bit patches).
cv::Mat localVarianceMap(const VarianceSettings& settings, const cv::Mat& patch);

// The largest local variance over all pixels and channels: the patch's texture. An empty patch
// has none (0.0).
double maxLocalVariance(const VarianceSettings& settings, const cv::Mat& patch);

} // namespace wyr::zok
