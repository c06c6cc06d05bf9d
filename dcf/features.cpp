#include "dcf/features.hpp"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

void FeatureExtractor::compute(const cv::Mat& sample, std::vector<cv::Mat>& planes) {
    CV_Assert(sample.rows % DCF_CELL_SIZE == 0 && sample.cols % DCF_CELL_SIZE == 0);
    const cv::Size cells(sample.cols / DCF_CELL_SIZE, sample.rows / DCF_CELL_SIZE);
    if (sample.channels() == 3) {
        cv::cvtColor(sample, magnitude_, cv::COLOR_BGR2GRAY);
        magnitude_.convertTo(grey_, CV_32F);
    } else {
        sample.convertTo(grey_, CV_32F);
    }
    cv::Sobel(grey_, dx_, CV_32F, 1, 0, 1, 1.0, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(grey_, dy_, CV_32F, 0, 1, 1, 1.0, 0.0, cv::BORDER_REPLICATE);
    binned_.resize(ORIENTATIONS);
    for (cv::Mat& b : binned_) {
        b.create(sample.size(), CV_32F);
    }
    // Unsigned orientations, each gradient's magnitude shared between its two nearest bins.
    for (int y = 0; y < sample.rows; ++y) {
        const float* gx = dx_.ptr<float>(y);
        const float* gy = dy_.ptr<float>(y);
        float* out[ORIENTATIONS];
        for (int b = 0; b < ORIENTATIONS; ++b) {
            out[b] = binned_[size_t(b)].ptr<float>(y);
        }
        for (int x = 0; x < sample.cols; ++x) {
            const float m = std::sqrt(gx[x] * gx[x] + gy[x] * gy[x]);
            float a = std::atan2(gy[x], gx[x]);
            if (a < 0) {
                a += float(CV_PI);
            }
            const float pos = a / float(CV_PI) * ORIENTATIONS;
            const int lo = int(pos) % ORIENTATIONS;
            const float frac = pos - std::floor(pos);
            for (int b = 0; b < ORIENTATIONS; ++b) {
                out[b][x] = 0.0f;
            }
            out[lo][x] = m * (1.0f - frac);
            out[(lo + 1) % ORIENTATIONS][x] += m * frac;
        }
    }
    planes.resize(PLANES);
    for (int b = 0; b < ORIENTATIONS; ++b) {
        cv::resize(binned_[size_t(b)], planes[size_t(b)], cells, 0, 0, cv::INTER_AREA);
    }
    // Contrast normalisation: each cell's orientation energy divided out.
    cellEnergy_.create(cells, CV_32F);
    cellEnergy_.setTo(1e-6f);
    for (int b = 0; b < ORIENTATIONS; ++b) {
        cv::accumulateSquare(planes[size_t(b)], cellEnergy_);
    }
    cv::sqrt(cellEnergy_, cellEnergy_);
    for (int b = 0; b < ORIENTATIONS; ++b) {
        cv::divide(planes[size_t(b)], cellEnergy_, planes[size_t(b)]);
    }
    cv::Mat& grey = planes[ORIENTATIONS];
    cv::resize(grey_, grey, cells, 0, 0, cv::INTER_AREA);
    // Grey levels about their mean and on a scale of the gradient planes, whatever the depth.
    cv::Scalar mean, dev;
    cv::meanStdDev(grey, mean, dev);
    grey.convertTo(grey, CV_32F, 0.5 / (dev[0] + 1e-6), -mean[0] * 0.5 / (dev[0] + 1e-6));
}

} // namespace wyr::zok
