#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok {

// The window's side of the unweighted normalised scores, at every position a template of size
// `templ` can take inside the window (row-major, (window - templ + 1) columns and rows):
//   sumSquares: the sum over the box and all channels of x^2;
//   squaredSums: the sum over channels of (the box sum of x)^2 (filled only when asked for).
// For 8-bit windows every sum is an exact integer (running box sums in integers), so it equals the
// one cv::matchTemplate takes from its exact integral images. Float windows go through
// cv::integral's double integral images and the same differences as cv::matchTemplate, so that
// their rounding is the same too. Arrays are kept between calls and grow only for a larger window.
class WindowSums {
public:
    void compute(const cv::Mat& window, const cv::Size& templ, bool withSquaredSums);

    const double* sumSquares() const { return sumSquares_.data(); }
    const double* squaredSums() const { return squaredSums_.data(); }

private:
    template <class Sum>
    void boxSums(const Sum* sum, const Sum* sqsum, size_t step, int channels, const cv::Size& templ,
                 const cv::Size& out, bool withSquaredSums);
    void running8U(const cv::Mat& window, const cv::Size& templ, const cv::Size& out,
                   bool withSquaredSums);

    // 255^2 * MAX_RUNNING_HEIGHT < 2^31.
    static constexpr int MAX_RUNNING_HEIGHT = 33000;

    std::vector<int32_t> columnSums_;
    std::vector<int32_t> columnSquares_;
    std::vector<int64_t> pixelSquares_;
    cv::Mat sum32F_;
    cv::Mat sqsum32F_;
    std::vector<double> sumSquares_;
    std::vector<double> squaredSums_;
};

} // namespace wyr::zok
