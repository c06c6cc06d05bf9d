#include "accuracy/dataset/metrics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace wyr::zok::accuracy {
namespace {

template <size_t N>
double mean(const std::array<double, N>& a) {
    return std::accumulate(a.begin(), a.end(), 0.0) / double(N);
}

} // namespace

double overlap(const cv::Rect2d& a, const cv::Rect2d& b) {
    const double inter = (a & b).area();
    const double uni = a.area() + b.area() - inter;
    return uni > 0 ? inter / uni : 0.0;
}

double centreError(const cv::Rect2d& box, const cv::Rect2d& truth) {
    const cv::Point2d d = centre(box) - centre(truth);
    return std::hypot(d.x, d.y);
}

double normalisedCentreError(const cv::Rect2d& box, const cv::Rect2d& truth) {
    const cv::Point2d d = centre(box) - centre(truth);
    return std::hypot(d.x / truth.width, d.y / truth.height);
}

double Curves::successAuc() const {
    return mean(success);
}

double Curves::normalisedAuc() const {
    return mean(normalised);
}

Curves score(const std::vector<cv::Rect2d>& boxes, const std::vector<cv::Rect2d>& truth,
             const std::vector<bool>& scored) {
    CV_Assert(boxes.size() == truth.size() && scored.size() == truth.size());
    Curves c;
    int frames = 0;
    for (size_t k = 0; k < truth.size(); ++k) {
        if (!scored[k]) {
            continue;
        }
        ++frames;
        const double iou = overlap(boxes[k], truth[k]);
        const double error = centreError(boxes[k], truth[k]);
        const double normalised = normalisedCentreError(boxes[k], truth[k]);
        for (int i = 0; i < SUCCESS_STEPS; ++i) {
            c.success[i] += iou > successThreshold(i);
        }
        for (int i = 0; i < PRECISION_STEPS; ++i) {
            c.precision[i] += error <= precisionThreshold(i);
        }
        for (int i = 0; i < NORMALISED_STEPS; ++i) {
            c.normalised[i] += normalised <= normalisedThreshold(i);
        }
    }
    if (frames > 0) {
        for (double& v : c.success) {
            v /= frames;
        }
        for (double& v : c.precision) {
            v /= frames;
        }
        for (double& v : c.normalised) {
            v /= frames;
        }
    }
    return c;
}

Curves meanCurves(const std::vector<Curves>& curves) {
    Curves m;
    if (curves.empty()) {
        return m;
    }
    for (const Curves& c : curves) {
        for (int i = 0; i < SUCCESS_STEPS; ++i) {
            m.success[i] += c.success[i] / double(curves.size());
        }
        for (int i = 0; i < PRECISION_STEPS; ++i) {
            m.precision[i] += c.precision[i] / double(curves.size());
        }
        for (int i = 0; i < NORMALISED_STEPS; ++i) {
            m.normalised[i] += c.normalised[i] / double(curves.size());
        }
    }
    return m;
}

FlagShares flagShares(const RealSequence& seq, size_t start, const std::vector<cv::Rect2d>& boxes,
                      const std::vector<uint8_t>& found) {
    size_t visible = 0, lost = 0, offTarget = 0, absent = 0, absentFound = 0;
    for (size_t k = start + 1; k < seq.frames.size(); ++k) {
        if (annotated(seq, k)) {
            ++visible;
            lost += !found[k];
            offTarget += found[k] && !(overlap(boxes[k], seq.truth[k]) >= OFF_TARGET_IOU);
        } else if (seq.absent[k]) {
            ++absent;
            absentFound += found[k];
        }
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto share = [&](size_t part, size_t whole) {
        return whole > 0 ? double(part) / double(whole) : nan;
    };
    return {share(lost, visible), share(offTarget, visible), share(absentFound, absent)};
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) {
        return 0.0;
    }
    const size_t rank = size_t(std::ceil(q * double(values.size())));
    const size_t index = std::min(values.size() - 1, rank == 0 ? 0 : rank - 1);
    std::nth_element(values.begin(), values.begin() + long(index), values.end());
    return values[index];
}

} // namespace wyr::zok::accuracy
