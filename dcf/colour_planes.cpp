#include "dcf/colour_planes.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

namespace {

// Brightness (on the 8-bit scale) added to a cell's before it divides the chroma: below about
// this level a camera's noise is as large as the colour.
constexpr float DARK_FLOOR = 12.0f;
// The hue prototypes' distance from grey in normalised chroma (a pure primary lies near 2), and the
// width of a membership.
constexpr float HUE_RADIUS = 0.6f;
constexpr float MEMBERSHIP_SIGMA = 0.3f;
// The largest normalised chroma taken; real colours stay below it (a pure primary reaches 2.1).
constexpr float MAX_CHROMA = 3.0f;
// The planes' scale: a cell wholly of one hue reads this much, a tenth of the gradient planes'
// range, which leaves the gradients the filter's main cue.
constexpr float PLANE_SCALE = 0.1f;

struct Prototypes {
    std::array<float, ColourPlanes::kPlanes> x, y;
    Prototypes() {
        for (int k = 0; k < ColourPlanes::kPlanes; ++k) {
            const double a = 2 * CV_PI * k / ColourPlanes::kPlanes;
            x[size_t(k)] = float(HUE_RADIUS * std::cos(a));
            y[size_t(k)] = float(HUE_RADIUS * std::sin(a));
        }
    }
};

} // namespace

void ColourPlanes::compute(const cv::Mat& sample, cv::Size cells, std::vector<cv::Mat>& planes,
                           size_t first) {
    CV_Assert(sample.type() == CV_8UC3 || sample.type() == CV_32FC3);
    CV_Assert(cells.width >= 1 && cells.height >= 1 && sample.cols >= cells.width &&
              sample.rows >= cells.height);
    CV_Assert(planes.size() >= first + kPlanes);
    static const Prototypes hues;
    cv::resize(sample, means_, cells, 0, 0, cv::INTER_AREA);
    if (means_.depth() != CV_32F) {
        means_.convertTo(means_, CV_32F);
    }
    std::array<float*, kPlanes> out;
    for (int k = 0; k < kPlanes; ++k) {
        planes[first + size_t(k)].create(cells, CV_32F);
    }
    const float invTwoSigma2 = 1.0f / (2 * MEMBERSHIP_SIGMA * MEMBERSHIP_SIGMA);
    for (int y = 0; y < cells.height; ++y) {
        const float* bgr = means_.ptr<float>(y);
        for (int k = 0; k < kPlanes; ++k) {
            out[size_t(k)] = planes[first + size_t(k)].ptr<float>(y);
        }
        for (int x = 0; x < cells.width; ++x) {
            const float b = bgr[3 * x], g = bgr[3 * x + 1], r = bgr[3 * x + 2];
            // Float samples may hold values beyond 0..255; a negative brightness would flip
            // the chroma, so the divisor keeps at least the floor.
            const float norm = 1.0f / std::max((b + g + r) / 3.0f + DARK_FLOOR, DARK_FLOOR);
            float c1 = 0.70710678f * (r - g) * norm;
            float c2 = 0.40824829f * (r + g - 2 * b) * norm;
            // Far out, every membership would underflow to 0 and their ratio be undefined.
            const float r2 = c1 * c1 + c2 * c2;
            if (r2 > MAX_CHROMA * MAX_CHROMA) {
                const float k = MAX_CHROMA / std::sqrt(r2);
                c1 *= k;
                c2 *= k;
            }
            std::array<float, kPlanes> m;
            float sum = std::exp(-(c1 * c1 + c2 * c2) * invTwoSigma2);
            for (size_t k = 0; k < size_t(kPlanes); ++k) {
                const float dx = c1 - hues.x[k], dy = c2 - hues.y[k];
                m[k] = std::exp(-(dx * dx + dy * dy) * invTwoSigma2);
                sum += m[k];
            }
            const float scale = PLANE_SCALE / sum;
            for (size_t k = 0; k < size_t(kPlanes); ++k) {
                out[k][x] = scale * m[k];
            }
        }
    }
    for (int k = 0; k < kPlanes; ++k) {
        cv::Mat& p = planes[first + size_t(k)];
        p -= cv::mean(p)[0];
    }
}

} // namespace wyr::zok
