#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "dcf/colour_planes.hpp"
#include "dcf/fhog.hpp"

namespace wyr::zok {

// Side of a feature cell, in sample pixels.
inline constexpr int DCF_CELL_SIZE = 4;

// The feature planes of a sample: the 31 fHOG planes and the cell's grey level, each a
// CV_32FC1 of (rows / cell) x (cols / cell); with colour planes on, ColourPlanes's after them.
class FeatureExtractor {
public:
    static constexpr int PLANES = FhogExtractor::kPlanes + 1;

    // Whether compute() adds the colour planes, which it takes from samples of three channels
    // (and leaves at 0 for grey ones).
    void setColourPlanes(bool on) { colourOn_ = on; }
    // The number of planes compute() gives.
    int planeCount() const { return colourOn_ ? PLANES + ColourPlanes::kPlanes : PLANES; }

    // `sample`: CV_8UC1/3 or CV_32FC1/3 on the 8-bit scale (0..255), each side a multiple of
    // DCF_CELL_SIZE and at least two cells. `planes` is resized to planeCount() and reused.
    void compute(const cv::Mat& sample, std::vector<cv::Mat>& planes);
    // The standard deviation of the last sample's grey level over its cells: near 0 for a
    // featureless sample, whose planes hold nothing to match.
    double contrast() const { return contrast_; }

private:
    FhogExtractor fhog_;
    ColourPlanes colour_;
    bool colourOn_ = false;
    std::vector<cv::Mat> fhogPlanes_;
    cv::Mat grey_, greyFloat_;
    double contrast_ = 0.0;
};

} // namespace wyr::zok
