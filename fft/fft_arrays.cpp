#include "fft/fft_arrays.hpp"

namespace wyr::zok {

void deinterleave(const cv::Mat& image, float* const* planes, int stride, cv::Mat& scratch) {
    // Headers over the planes: OpenCV's vectorised conversion and split write straight into
    // them, since each already has the size and type asked for.
    const int cn = image.channels();
    CV_Assert(cn >= 1 && cn <= 4);
    cv::Mat views[4];
    for (int c = 0; c < cn; ++c) {
        views[c] =
            cv::Mat(image.rows, image.cols, CV_32F, planes[c], size_t(stride) * sizeof(float));
    }
    if (cn == 1) {
        image.convertTo(views[0], CV_32F);
        return;
    }
    const cv::Mat* source = &image;
    if (image.depth() != CV_32F) {
        image.convertTo(scratch, CV_32F);
        source = &scratch;
    }
    cv::split(*source, views);
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
