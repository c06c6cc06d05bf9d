#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// The peak of a correlation response whose index (y, x) holds the score of a shift of (x, y)
// cells, wrapping round.
struct ResponsePeak {
    cv::Point2f shift; // cells, signed, refined between cells by a parabola on each axis
    float value = 0.0f;
    // Average peak-to-correlation energy: (max - min)^2 over the mean of (r - min)^2. A single
    // sharp peak gives a high value, a flat or many-peaked response a low one.
    float sharpness = 0.0f;
};

// `limit`: only shifts of at most this many cells on each axis are candidates (the rest of the
// response is the window's dark edge, where the filter has seen nothing).
ResponsePeak findPeak(const cv::Mat& response, int limit);

// The highest score of `response` within one cell of `shift` (cells, signed, wrapping round as
// findPeak's), or -infinity where that lies beyond `limit` cells on either axis.
float valueNear(const cv::Mat& response, const cv::Point2f& shift, int limit);

// A running mean of recent values: about the last 20 count, and the first few weigh more, so
// that it settles quickly; the first value is the mean.
class RecentMean {
public:
    void reset() {
        count_ = 0;
        mean_ = 0.0;
    }
    void add(double value);
    double value() const { return mean_; }
    int count() const { return count_; }

private:
    int count_ = 0;
    double mean_ = 0.0;
};

// The running means of the peaks' value and sharpness over recent confident frames, and the
// confidence of a new peak against them: the geometric mean of its value's and sharpness's
// ratios to their means, so 1 for a peak like the usual ones and 0 for no peak at all. Means
// below fixed floors count as the floors, so that a response of rounding errors (a featureless
// frame) is never a confident match; before any history, the floors alone judge (at most 1).
class ConfidenceHistory {
public:
    // `minSharpness`: the sharpness below which a peak's confidence is scaled down in
    // proportion, whatever the history (0: none).
    void reset(double minSharpness = 0.0) {
        value_.reset();
        sharpness_.reset();
        minSharpness_ = minSharpness;
    }
    double confidence(const ResponsePeak& peak) const;
    void record(const ResponsePeak& peak);

private:
    RecentMean value_;
    RecentMean sharpness_;
    double minSharpness_ = 0.0;
};

} // namespace wyr::zok
