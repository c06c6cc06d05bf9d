#include "dcf/aspect_filter.hpp"

#include <algorithm>
#include <cmath>

namespace wyr::zok {

void AspectFilter::configure(const Settings& settings) {
    settings_ = settings;
    // Width w sqrt(a) and height h / sqrt(a) must both stay within the longest side, or the
    // target would outgrow the search region built for the first box.
    const float wide = settings.longestSide / std::max(1.0f, settings.base.width);
    const float tall = settings.longestSide / std::max(1.0f, settings.base.height);
    const float limit = std::max(1.0f, settings.limit);
    high_ = std::max(1.0f, std::min(limit, wide * wide));
    low_ = std::min(1.0f, std::max(1.0f / limit, 1.0f / (tall * tall)));
    ScaleFilter::Settings ladder;
    ladder.scales = settings.aspects;
    ladder.step = settings.step;
    ladder.target = settings.base;
    ladder.widthPower = 0.5f;
    ladder.heightPower = -0.5f;
    filter_.configure(ladder);
}

cv::Size2f AspectFilter::shaped(const cv::Size2f& base, float aspect) {
    const float root = std::sqrt(aspect);
    return {base.width * root, base.height / root};
}

float AspectFilter::bounded(float aspect) const {
    return std::clamp(aspect, low_, high_);
}

float AspectFilter::estimate(const cv::Mat& frame, const cv::Point2f& centre,
                             const cv::Size2f& size) {
    filter_.loadSamples(frame, centre, size);
    return filter_.estimate();
}

float AspectFilter::moved(float aspect, float offset) const {
    return bounded(aspect * std::pow(settings_.step, settings_.rate * offset));
}

} // namespace wyr::zok
