#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok {

// Side of a feature cell, in sample pixels.
inline constexpr int DCF_CELL_SIZE = 4;

// The feature planes of a sample: gradient orientation planes and the mean grey level of each
// cell, each a CV_32FC1 of (rows / cell) x (cols / cell).
class FeatureExtractor {
public:
    static constexpr int ORIENTATIONS = 4;
    static constexpr int PLANES = ORIENTATIONS + 1;

    // `sample`: CV_8UC1/3 or CV_32FC1/3 (8-bit values 0..255, float values of any scale), each
    // side a multiple of DCF_CELL_SIZE. `planes` is resized to PLANES and reused.
    void compute(const cv::Mat& sample, std::vector<cv::Mat>& planes);

private:
    cv::Mat grey_, dx_, dy_, magnitude_, cellEnergy_;
    std::vector<cv::Mat> binned_;
};

} // namespace wyr::zok
