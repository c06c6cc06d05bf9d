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
    cv::Mat saturated;    // a float region with its values saturated, read only when needed
};

// Samples the region of `regionSize` pixels centred on `centre` into `out`, of `outSize` and of
// the frame's depth and channel count (4 channels become 3, BGR). Outside the frame the edge
// pixels repeat. A region more than twice the sample's size is first averaged down by a whole
// factor (OpenCV's fast path) and then interpolated, so that fine texture does not alias and
// the cost stays near one read of the region.
void sampleRegion(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& regionSize,
                  const cv::Size& outSize, cv::Mat& out, SampleScratch& scratch);

// The magnitude at which float pixels are saturated in a sample: far beyond any grey level, and
// low enough that the features' squares and sums of squares of such values stay finite.
inline constexpr float FLOAT_PIXEL_LIMIT = 1e9f;

// As sampleRegion(), for the tracker's features: returns false when a pixel read is NaN or
// infinite (`out` is then unspecified). Every finite frame is taken: float values beyond
// FLOAT_PIXEL_LIMIT in magnitude are saturated at it, before the resampling where summing
// them would overflow.
bool sampleFiniteRegion(const cv::Mat& frame, const cv::Point2f& centre,
                        const cv::Size2f& regionSize, const cv::Size& outSize, cv::Mat& out,
                        SampleScratch& scratch);

// The grey levels of `image` (1, 3 or 4 channels, BGR(A) order) in its own depth: `grey` is
// `image` itself when it has one channel, else a conversion into `grey`'s buffer.
void toGrey(const cv::Mat& image, cv::Mat& grey);

} // namespace wyr::zok
