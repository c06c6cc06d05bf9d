#include "accuracy/gimbal/view_measures.hpp"

#include <cmath>

#include "accuracy/dataset/metrics.hpp"

namespace wyr::zok::accuracy {

ViewScore scoreViews(const std::vector<cv::Rect2d>& views, const std::vector<cv::Rect2d>& truth,
                     const std::vector<bool>& scored, size_t start) {
    CV_Assert(views.size() == truth.size() && scored.size() == truth.size());
    ViewScore s;
    if (start >= truth.size()) {
        return s;
    }
    s.frames = truth.size() - start;
    size_t lastInView = start;
    size_t lastScored = start;
    double errorSum = 0.0;
    for (size_t k = start + 1; k < truth.size(); ++k) {
        if (!scored[k]) {
            continue;
        }
        ++s.scored;
        lastScored = k;
        const cv::Rect2d& v = views[k];
        const cv::Point2d c = centre(truth[k]) - v.tl();
        if (!(c.x >= 0 && c.x < v.width && c.y >= 0 && c.y < v.height)) {
            continue;
        }
        ++s.inView;
        lastInView = k;
        errorSum += centreError(cv::Rect2d(cv::Point2d(), v.size()), truth[k] - v.tl());
        if (c.x >= v.width / 3 && c.x <= 2 * v.width / 3 && c.y >= v.height / 3 &&
            c.y <= 2 * v.height / 3) {
            ++s.inCentralThird;
        }
    }
    if (s.inView > 0) {
        s.meanError = errorSum / double(s.inView);
    }
    s.keptFrames = lastInView == lastScored ? s.frames : lastInView - start + 1;
    return s;
}

} // namespace wyr::zok::accuracy
