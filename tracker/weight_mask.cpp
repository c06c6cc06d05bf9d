#include "tracker/weight_mask.hpp"

#include <algorithm>
#include <cmath>

#include "geometry/geometry.hpp"

namespace wyr::zok {

cv::Mat buildWeightMask(int rows, int cols, float sigmaExp) {
    // Single precision throughout, so that masks are reproducible bit for bit.
    const float sigma = std::exp(sigmaExp) * float(std::max(halve(rows), halve(cols)));
    const float denominator = (sigma * sigma) * 2.0f;
    cv::Mat mask = cv::Mat::zeros(rows, cols, CV_32F);
    for (int i = 0; i < rows; ++i) {
        float* row = mask.ptr<float>(i);
        const int dy = i - halve(rows);
        for (int j = 0; j < cols; ++j) {
            const int dx = j - halve(cols);
            row[j] = std::exp(-float(dy * dy + dx * dx) / denominator);
        }
    }
    return mask;
}

} // namespace wyr::zok
