#pragma once

#include <opencv2/core.hpp>

#include "dcf/confidence.hpp"

namespace wyr::zok {

// How much a correlation response's shape changed since the response of the last frame learned
// from: both moved so that their peaks sit at zero shift and scaled so that their peaks are 1,
// the mean squared difference of the two over the map. A target followed from frame to frame
// keeps the shape of its response wherever the peak lies and however high it is; an occluder
// entering the window changes it abruptly, even while the peak keeps much of its height. The
// measure is judged against its running mean over the frames learned from, as the confidence
// judges the peak.
class ResponseVariation {
public:
    // Forgets the reference response and the running mean.
    void reset();
    // Forgets the reference response only (the next measure has nothing to compare with), as
    // when the target was searched for elsewhere.
    void forget() { hasReference_ = false; }

    // The variation of `response` (a square CV_32FC1 map whose index (y, x) holds the score of
    // a shift of (x, y) cells, wrapping round, as findPeak() reads it) with its peak at `peak`
    // against the reference; 0 without a reference of its size. One pass over the map, into a
    // buffer made once. Changes neither the reference nor the mean, so that a frame refused
    // after its search leaves the judgement of the next as it was.
    double measure(const cv::Mat& response, const ResponsePeak& peak);
    // The last measure over the running mean of those kept (means below a small floor count as
    // the floor, so that the rounding of a still scene is no change); 0 until a few were kept
    // or when the last measure had nothing to compare with.
    double ratio() const;
    // Makes the response last measured the reference, and its measure (if it had one) part of
    // the running mean: called for the frames the tracker learns from.
    void keep();

private:
    cv::Mat reference_, aligned_; // peak-aligned, peak-scaled maps; swapped, never reallocated
    bool hasReference_ = false;
    bool hasAligned_ = false;
    bool measured_ = false; // the last measure had a reference to compare with
    double last_ = 0.0;
    RecentMean mean_; // of the measures of the frames kept
};

} // namespace wyr::zok
