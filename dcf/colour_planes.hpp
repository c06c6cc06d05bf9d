#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok {

// Colour features per cell for the correlation filter: how much of each of a few hues a cell
// holds, judged on its chroma alone, so that a change of light leaves them nearly unchanged and
// two colours of one grey level differ.
//
// A cell's mean B, G, R give two opponent colours, red-green and yellow-blue, divided by the
// cell's brightness (plus a small floor, so that dark cells, whose colour is mostly noise, stay
// near grey). That normalised chroma is softly assigned to prototypes: grey at the origin and
// kPlanes hues evenly spaced round it. A plane is the cells' membership of one hue, which a linear
// filter can weigh where a mean chroma could not (red and blue apart from purple); grey's own
// membership is left out, as the memberships sum to 1. Each plane is taken about its mean over
// the sample, as the grey plane is, so that a sample of one colour (or of none) gives zero planes
// and the filter's window leaves no pattern of its own in them.
class ColourPlanes {
public:
    static constexpr int kPlanes = 6;

    // `sample`: CV_8UC3 or CV_32FC3, BGR on the 8-bit scale (finite), at least one pixel per cell
    // of `cells`; the cell means are taken by area. Writes kPlanes CV_32FC1 planes of `cells`
    // size into planes[first ..] (reusing their buffers); `planes` must hold them.
    void compute(const cv::Mat& sample, cv::Size cells, std::vector<cv::Mat>& planes, size_t first);

private:
    cv::Mat means_;
};

} // namespace wyr::zok
