#pragma once

#include <opencv2/core.hpp>

#include "dcf/scale_filter.hpp"

namespace wyr::zok {

// The target's shape: a one-dimensional correlation filter over a ladder of aspect ratios at
// one area (a ScaleFilter whose rungs widen the box as they flatten it), and the bounds the
// aspect is kept within. The aspect a is the box's width-to-height ratio relative to the first
// box's: a box of base size w x h and scale s is w s sqrt(a) wide and h s / sqrt(a) high, so
// that the scale keeps meaning the square root of the area and the search region, which grows
// with the scale, keeps its relation to it.
class AspectFilter {
public:
    struct Settings {
        int aspects = 9; // rungs of the ladder, odd
        float step = 1.04f;
        float limit = 3.0f;    // the aspect stays within 1 / limit .. limit
        float rate = 0.5f;     // share of a measured change that moved() takes
        cv::Size2f base;       // the first box's size
        float longestSide = 0; // the longest side a box of scale 1 may have
    };

    void configure(const Settings& settings);
    bool configured() const { return filter_.configured(); }

    // The box of size `base` at `aspect` (scale 1).
    static cv::Size2f shaped(const cv::Size2f& base, float aspect);
    // `aspect` moved into the bounds: the limit, and the longest side.
    float bounded(float aspect) const;

    // Samples the ladder around the box of `size` centred on `centre` and returns the change of
    // aspect it shows, in rungs (0 = unchanged). Raises StsBadArg when the samples hold NaN or
    // infinite values, before anything the filter learned changes.
    float estimate(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& size);
    // `aspect` moved by the rate's share of `offset` rungs, within the bounds.
    float moved(float aspect, float offset) const;
    // Blends the samples estimate() loaded into the model at `rate`, as those of a target
    // `offset` rungs from the ladder's middle.
    void learn(float rate, float offset) { filter_.learn(rate, offset); }

private:
    Settings settings_;
    float low_ = 1.0f, high_ = 1.0f;
    ScaleFilter filter_;
};

} // namespace wyr::zok
