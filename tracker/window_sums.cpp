#include "tracker/window_sums.hpp"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

void WindowSums::integral8U(const cv::Mat& window) {
    const int cn = window.channels();
    const size_t step = size_t(window.cols + 1) * size_t(cn);
    const size_t length = step * size_t(window.rows + 1);
    sum8U_.resize(length);
    sqsum8U_.resize(length);
    std::fill(sum8U_.begin(), sum8U_.begin() + ptrdiff_t(step), 0);
    std::fill(sqsum8U_.begin(), sqsum8U_.begin() + ptrdiff_t(step), 0);
    for (int y = 0; y < window.rows; ++y) {
        const uchar* src = window.ptr<uchar>(y);
        const int64_t* above = sum8U_.data() + size_t(y) * step;
        const int64_t* aboveSq = sqsum8U_.data() + size_t(y) * step;
        int64_t* row = sum8U_.data() + size_t(y + 1) * step;
        int64_t* rowSq = sqsum8U_.data() + size_t(y + 1) * step;
        for (int c = 0; c < cn; ++c) {
            row[c] = 0;
            rowSq[c] = 0;
            int64_t run = 0;
            int64_t runSq = 0;
            for (int x = 0; x < window.cols; ++x) {
                const int64_t v = src[x * cn + c];
                run += v;
                runSq += v * v;
                const size_t i = size_t(x + 1) * size_t(cn) + size_t(c);
                row[i] = above[i] + run;
                rowSq[i] = aboveSq[i] + runSq;
            }
        }
    }
}

template <class Sum>
void WindowSums::boxSums(const Sum* sum, const Sum* sqsum, size_t step, int cn,
                         const cv::Size& templ, const cv::Size& out, bool withSquaredSums) {
    // The same operations in the same order as cv::matchTemplate's normalisation, so that equal
    // integral images give equal doubles.
    const size_t right = size_t(templ.width) * size_t(cn);
    const size_t down = size_t(templ.height) * step;
    for (int y = 0; y < out.height; ++y) {
        double* sq = sumSquares_.data() + size_t(y) * size_t(out.width);
        double* means = squaredSums_.data() + size_t(y) * size_t(out.width);
        for (int x = 0; x < out.width; ++x) {
            const size_t i = size_t(y) * step + size_t(x) * size_t(cn);
            double wndSum2 = 0;
            double squared = 0;
            for (int c = 0; c < cn; ++c) {
                const size_t k = i + size_t(c);
                if (withSquaredSums) {
                    const double t =
                        double(sum[k] - sum[k + right] - sum[k + down] + sum[k + down + right]);
                    squared += t * t;
                }
                wndSum2 +=
                    double(sqsum[k] - sqsum[k + right] - sqsum[k + down] + sqsum[k + down + right]);
            }
            sq[x] = wndSum2;
            if (withSquaredSums) {
                means[x] = squared;
            }
        }
    }
}

void WindowSums::compute(const cv::Mat& window, const cv::Size& templ, bool withSquaredSums) {
    const cv::Size out(window.cols - templ.width + 1, window.rows - templ.height + 1);
    sumSquares_.resize(size_t(out.area()));
    squaredSums_.resize(withSquaredSums ? size_t(out.area()) : 0);
    const int cn = window.channels();
    if (window.depth() == CV_8U) {
        integral8U(window);
        boxSums(sum8U_.data(), sqsum8U_.data(), size_t(window.cols + 1) * size_t(cn), cn, templ,
                out, withSquaredSums);
        return;
    }
    cv::integral(window, sum32F_, sqsum32F_, CV_64F, CV_64F);
    CV_DbgAssert(sum32F_.step1() == sqsum32F_.step1());
    boxSums(sum32F_.ptr<double>(), sqsum32F_.ptr<double>(), sum32F_.step1(), cn, templ, out,
            withSquaredSums);
}

} // namespace wyr::zok
