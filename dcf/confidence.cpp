#include "dcf/confidence.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace wyr::zok {

namespace {

// Weight of the newest value in a running mean: about the last 20 count.
constexpr double RECENT_RATE = 0.05;
// The least peak value and sharpness the history's means are taken to be: the filter learns to
// give 1 on the target, so a response far below these is no peak at all, however it compares
// with a history of such responses (a featureless frame's, made of rounding errors).
constexpr double MIN_MEAN_VALUE = 0.02;
constexpr double MIN_MEAN_SHARPNESS = 1.0;

int wrapped(int i, int n) {
    return i < (n + 1) / 2 ? i : i - n;
}

float refine(float left, float centre, float right) {
    const float denom = left - 2 * centre + right;
    if (!(denom < 0)) {
        return 0.0f;
    }
    return std::clamp(0.5f * (left - right) / denom, -0.5f, 0.5f);
}

} // namespace

ResponsePeak findPeak(const cv::Mat& response, int limit) {
    CV_Assert(response.type() == CV_32FC1 && response.rows > 2 && response.cols > 2);
    const int rows = response.rows;
    const int cols = response.cols;
    int bx = 0;
    int by = 0;
    float best = -std::numeric_limits<float>::infinity();
    float lowest = std::numeric_limits<float>::infinity();
    for (int y = 0; y < rows; ++y) {
        const float* r = response.ptr<float>(y);
        const bool rowInside = std::abs(wrapped(y, rows)) <= limit;
        for (int x = 0; x < cols; ++x) {
            lowest = std::min(lowest, r[x]);
            if (rowInside && r[x] > best && std::abs(wrapped(x, cols)) <= limit) {
                best = r[x];
                bx = x;
                by = y;
            }
        }
    }
    ResponsePeak peak;
    peak.value = best;
    double energy = 0.0;
    for (int y = 0; y < rows; ++y) {
        const float* r = response.ptr<float>(y);
        for (int x = 0; x < cols; ++x) {
            const double d = r[x] - lowest;
            energy += d * d;
        }
    }
    energy /= double(rows) * cols;
    const double span = double(best) - lowest;
    peak.sharpness = energy > 0 ? float(span * span / energy) : 0.0f;
    const auto at = [&](int y, int x) {
        return response.at<float>((y + rows) % rows, (x + cols) % cols);
    };
    peak.shift.x = float(wrapped(bx, cols)) + refine(at(by, bx - 1), best, at(by, bx + 1));
    peak.shift.y = float(wrapped(by, rows)) + refine(at(by - 1, bx), best, at(by + 1, bx));
    return peak;
}

float valueNear(const cv::Mat& response, const cv::Point2f& shift, int limit) {
    const int cx = int(std::lround(shift.x));
    const int cy = int(std::lround(shift.y));
    if (std::abs(cx) > limit || std::abs(cy) > limit) {
        return -std::numeric_limits<float>::infinity();
    }
    float best = -std::numeric_limits<float>::infinity();
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int y = ((cy + dy) % response.rows + response.rows) % response.rows;
            const int x = ((cx + dx) % response.cols + response.cols) % response.cols;
            best = std::max(best, response.at<float>(y, x));
        }
    }
    return best;
}

double ConfidenceHistory::confidence(const ResponsePeak& peak) const {
    const double v = std::max(0.0, double(peak.value)) / std::max(MIN_MEAN_VALUE, value_.value());
    const double s =
        std::max(0.0, double(peak.sharpness)) / std::max(MIN_MEAN_SHARPNESS, sharpness_.value());
    // Without a history, the floors alone judge, and a peak above them is as good as can be.
    const double relative =
        value_.count() == 0 ? std::min(1.0, std::sqrt(v * s)) : std::sqrt(v * s);
    const double absolute =
        minSharpness_ > 0 ? std::min(1.0, std::max(0.0, double(peak.sharpness)) / minSharpness_)
                          : 1.0;
    return relative * absolute;
}

void RecentMean::add(double value) {
    mean_ =
        count_ == 0 ? value : mean_ + std::max(RECENT_RATE, 1.0 / (count_ + 1)) * (value - mean_);
    ++count_;
}

void ConfidenceHistory::record(const ResponsePeak& peak) {
    value_.add(std::max(0.0f, peak.value));
    sharpness_.add(std::max(0.0f, peak.sharpness));
}

} // namespace wyr::zok
