#include "tracker/fft_arrays.hpp"

namespace wyr::zok {

namespace {

template <class T, int CN>
void deinterleaveAs(const cv::Mat& image, float* const* planes, int stride) {
    for (int y = 0; y < image.rows; ++y) {
        const T* src = image.ptr<T>(y);
        const size_t offset = size_t(y) * size_t(stride);
        for (int c = 0; c < CN; ++c) {
            float* dst = planes[c] + offset;
            for (int x = 0; x < image.cols; ++x) {
                dst[x] = float(src[x * CN + c]);
            }
        }
    }
}

template <class T>
void deinterleaveDepth(const cv::Mat& image, float* const* planes, int stride) {
    // The channel count as a constant lets the compiler unroll and vectorise the inner loop.
    switch (image.channels()) {
    case 1:
        return deinterleaveAs<T, 1>(image, planes, stride);
    case 2:
        return deinterleaveAs<T, 2>(image, planes, stride);
    case 3:
        return deinterleaveAs<T, 3>(image, planes, stride);
    default:
        CV_Assert(image.channels() == 4);
        return deinterleaveAs<T, 4>(image, planes, stride);
    }
}

} // namespace

void deinterleave(const cv::Mat& image, float* const* planes, int stride) {
    if (image.depth() == CV_8U) {
        deinterleaveDepth<uchar>(image, planes, stride);
    } else {
        CV_Assert(image.depth() == CV_32F);
        deinterleaveDepth<float>(image, planes, stride);
    }
}

void copyChannel(const cv::Mat& image, int channel, float* plane, int stride) {
    CV_Assert(image.depth() == CV_32F);
    const int cn = image.channels();
    for (int y = 0; y < image.rows; ++y) {
        const float* src = image.ptr<float>(y) + channel;
        float* dst = plane + size_t(y) * size_t(stride);
        for (int x = 0; x < image.cols; ++x) {
            dst[x] = src[x * cn];
        }
    }
}

void sumOfSquares(const float* const* planes, int channels, size_t length, float* out) {
    for (size_t i = 0; i < length; ++i) {
        out[i] = planes[0][i] * planes[0][i];
    }
    for (int c = 1; c < channels; ++c) {
        const float* p = planes[c];
        for (size_t i = 0; i < length; ++i) {
            out[i] += p[i] * p[i];
        }
    }
}

void multiplyConjugate(const fftwf_complex* a, const fftwf_complex* b, fftwf_complex* out,
                       size_t length, bool accumulate) {
    if (accumulate) {
        for (size_t i = 0; i < length; ++i) {
            out[i][0] += a[i][0] * b[i][0] + a[i][1] * b[i][1];
            out[i][1] += a[i][1] * b[i][0] - a[i][0] * b[i][1];
        }
        return;
    }
    for (size_t i = 0; i < length; ++i) {
        out[i][0] = a[i][0] * b[i][0] + a[i][1] * b[i][1];
        out[i][1] = a[i][1] * b[i][0] - a[i][0] * b[i][1];
    }
}

} // namespace wyr::zok
