#include "dcf/response_variation.hpp"

#include <algorithm>
#include <cmath>

namespace wyr::zok {

namespace {

// Measures kept before ratio() judges: the first few are too few to say what is usual.
constexpr int MIN_KEPT = 5;
// The least peak a map is scaled by: a response of rounding errors is not blown up into a
// changed shape.
constexpr float MIN_PEAK = 0.02f;
// The least running mean the ratio divides by: a still scene's responses hardly change, and a
// ratio to nearly nothing would call any change an aberration.
constexpr double MIN_MEAN = 1e-4;

} // namespace

void ResponseVariation::reset() {
    hasReference_ = false;
    hasAligned_ = false;
    measured_ = false;
    last_ = 0.0;
    mean_.reset();
}

double ResponseVariation::measure(const cv::Mat& response, const ResponsePeak& peak) {
    CV_Assert(response.type() == CV_32FC1 && response.rows == response.cols && response.rows > 0);
    const int n = response.rows;
    // A no-op but for the first map of a size: the two buffers swap in keep().
    aligned_.create(n, n, CV_32FC1);
    // The peak's cell, moved to index 0; lround of the refined shift gives back the cell findPeak
    // chose (its refinement stays within half a cell).
    const int px = (int(std::lround(peak.shift.x)) % n + n) % n;
    const int py = (int(std::lround(peak.shift.y)) % n + n) % n;
    const float scale = 1.0f / std::max(MIN_PEAK, peak.value);
    const bool comparable = hasReference_ && reference_.size() == aligned_.size();
    double sum = 0.0;
    for (int y = 0; y < n; ++y) {
        const float* r = response.ptr<float>((y + py) % n);
        const float* b = comparable ? reference_.ptr<float>(y) : nullptr;
        float* a = aligned_.ptr<float>(y);
        for (int x = 0; x < n; ++x) {
            a[x] = r[(x + px) % n] * scale;
            if (comparable) {
                const double d = double(a[x]) - b[x];
                sum += d * d;
            }
        }
    }
    hasAligned_ = true;
    measured_ = comparable;
    last_ = comparable ? sum / (double(n) * n) : 0.0;
    return last_;
}

double ResponseVariation::ratio() const {
    if (!measured_ || mean_.count() < MIN_KEPT) {
        return 0.0;
    }
    return last_ / std::max(MIN_MEAN, mean_.value());
}

void ResponseVariation::keep() {
    if (!hasAligned_) {
        return;
    }
    if (measured_) {
        mean_.add(last_);
    }
    std::swap(reference_, aligned_);
    hasReference_ = true;
    hasAligned_ = false;
}

} // namespace wyr::zok
