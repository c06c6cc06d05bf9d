#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// Resampling of a region of the frame into a fixed-size sample. Coordinates are continuous:
// pixel i covers [i, i + 1), so a box's centre is x + w / 2.

// Buffers of sampleRegion(), kept by the caller so that samples of one size allocate nothing
// after the first.
struct SampleScratch {
    cv::Mat fourChannels; // a 4-channel sample before its alpha is dropped
    cv::Mat reduced;      // the region averaged down by a whole factor
};

// Samples the region of `regionSize` pixels centred on `centre` into `out`, of `outSize` and of
// the frame's depth and channel count (4 channels become 3, BGR). Outside the frame the edge
// pixels repeat. A region more than twice the sample's size is first averaged down by a whole
// factor (OpenCV's fast path) and then interpolated, so that fine texture does not alias and
// the cost stays near one read of the region.
void sampleRegion(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& regionSize,
                  const cv::Size& outSize, cv::Mat& out, SampleScratch& scratch);

// Whether a float sample holds NaN or infinite values (never for integer depths).
bool hasNonFinite(const cv::Mat& sample);

} // namespace wyr::zok
