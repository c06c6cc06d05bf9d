#include "tracker/engines/window_sums.hpp"

#include <algorithm>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

namespace {

template <int CN>
void pixelTotalsOf(const int32_t* columns, int pixels, int64_t* out) {
    for (int x = 0; x < pixels; ++x) {
        int64_t total = 0;
        for (int c = 0; c < CN; ++c) {
            total += columns[x * CN + c];
        }
        out[x] = total;
    }
}

// out[x] = the sum over channels of columns[x * cn + c]; the channel count as a constant lets
// the compiler vectorise the loop.
void pixelTotals(const int32_t* columns, int cn, int pixels, int64_t* out) {
    switch (cn) {
    case 1:
        return pixelTotalsOf<1>(columns, pixels, out);
    case 2:
        return pixelTotalsOf<2>(columns, pixels, out);
    case 3:
        return pixelTotalsOf<3>(columns, pixels, out);
    default:
        return pixelTotalsOf<4>(columns, pixels, out);
    }
}

} // namespace

void WindowSums::running8U(const cv::Mat& window, const cv::Size& templ, const cv::Size& out,
                           bool withSquaredSums) {
    // Sums down each column (channels interleaved) over the template's height, slid one row at
    // a time, then across each row over its width: integers throughout, so nothing is rounded.
    // A column of at most MAX_RUNNING_HEIGHT 8-bit squares fits in 32 bits.
    const int cn = window.channels();
    const int width = window.cols * cn;
    columnSums_.assign(size_t(width), 0);
    columnSquares_.assign(size_t(width), 0);
    pixelSquares_.resize(size_t(window.cols));
    int32_t* colSum = columnSums_.data();
    int32_t* colSq = columnSquares_.data();
    int64_t* pixSq = pixelSquares_.data();
    for (int y = 0; y < templ.height; ++y) {
        const uchar* src = window.ptr<uchar>(y);
        for (int j = 0; j < width; ++j) {
            const int32_t v = src[j];
            colSum[j] += v;
            colSq[j] += v * v;
        }
    }
    for (int y = 0; y < out.height; ++y) {
        if (y > 0) {
            const uchar* gone = window.ptr<uchar>(y - 1);
            const uchar* come = window.ptr<uchar>(y - 1 + templ.height);
            for (int j = 0; j < width; ++j) {
                const int32_t a = gone[j];
                const int32_t b = come[j];
                colSum[j] += b - a;
                colSq[j] += b * b - a * a;
            }
        }
        pixelTotals(colSq, cn, window.cols, pixSq);
        double* sq = sumSquares_.data() + size_t(y) * size_t(out.width);
        int64_t boxSq = 0;
        for (int x = 0; x < templ.width; ++x) {
            boxSq += pixSq[x];
        }
        for (int x = 0; x < out.width; ++x) {
            sq[x] = double(boxSq);
            if (x + 1 < out.width) {
                boxSq += pixSq[x + templ.width] - pixSq[x];
            }
        }
        if (!withSquaredSums) {
            continue;
        }
        double* squared = squaredSums_.data() + size_t(y) * size_t(out.width);
        int64_t box[4] = {0, 0, 0, 0};
        for (int j = 0; j < templ.width * cn; ++j) {
            box[j % cn] += colSum[j];
        }
        for (int x = 0; x < out.width; ++x) {
            // (The same products, in the same channel order, as cv::matchTemplate's.)
            double total = 0;
            for (int c = 0; c < cn; ++c) {
                const double t = double(box[c]);
                total += t * t;
            }
            squared[x] = total;
            if (x + 1 < out.width) {
                for (int c = 0; c < cn; ++c) {
                    box[c] += colSum[(x + templ.width) * cn + c] - colSum[x * cn + c];
                }
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
        // Without squared sums their array is empty, and its data() may be null.
        double* means =
            withSquaredSums ? squaredSums_.data() + size_t(y) * size_t(out.width) : nullptr;
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
    if (window.depth() == CV_8U && templ.height <= MAX_RUNNING_HEIGHT) {
        running8U(window, templ, out, withSquaredSums);
        return;
    }
    // cv::integral's double sums of 8-bit windows are exact integers too.
    cv::integral(window, sum32F_, sqsum32F_, CV_64F, CV_64F);
    CV_DbgAssert(sum32F_.step1() == sqsum32F_.step1());
    boxSums(sum32F_.ptr<double>(), sqsum32F_.ptr<double>(), sum32F_.step1(), cn, templ, out,
            withSquaredSums);
}

} // namespace wyr::zok
