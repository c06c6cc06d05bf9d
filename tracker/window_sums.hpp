#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok {

// The window's side of the unweighted normalised scores, at every position a template of size
// `templ` can take inside the window (row-major, (window - templ + 1) columns and rows):
//   sumSquares: the sum over the box and all channels of x^2;
//   squaredSums: the sum over channels of (the box sum of x)^2 (filled only when asked for).
// Both come from integral images: exact 64-bit integer sums for 8-bit windows, and for float
// windows cv::integral's double sums, so that every sum equals the one cv::matchTemplate
// forms. Arrays are kept between calls and grow only for a larger window.
class WindowSums {
public:
    void compute(const cv::Mat& window, const cv::Size& templ, bool withSquaredSums);

    const double* sumSquares() const { return sumSquares_.data(); }
    const double* squaredSums() const { return squaredSums_.data(); }

private:
    template <class Sum>
    void boxSums(const Sum* sum, const Sum* sqsum, size_t step, int channels, const cv::Size& templ,
                 const cv::Size& out, bool withSquaredSums);
    void integral8U(const cv::Mat& window);

    std::vector<int64_t> sum8U_;
    std::vector<int64_t> sqsum8U_;
    cv::Mat sum32F_;
    cv::Mat sqsum32F_;
    std::vector<double> sumSquares_;
    std::vector<double> squaredSums_;
};

} // namespace wyr::zok
