#include "dcf/features.hpp"

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

void FeatureExtractor::compute(const cv::Mat& sample, std::vector<cv::Mat>& planes) {
    CV_Assert(sample.rows % DCF_CELL_SIZE == 0 && sample.cols % DCF_CELL_SIZE == 0);
    const cv::Size cells(sample.cols / DCF_CELL_SIZE, sample.rows / DCF_CELL_SIZE);
    planes.resize(size_t(planeCount()));
    // The fHOG planes are written straight into the first planes, so nothing is copied.
    fhogPlanes_.resize(FhogExtractor::kPlanes);
    for (int k = 0; k < FhogExtractor::kPlanes; ++k) {
        planes[size_t(k)].create(cells, CV_32F);
        fhogPlanes_[size_t(k)] = planes[size_t(k)];
    }
    fhog_.compute(sample, DCF_CELL_SIZE, fhogPlanes_);
    for (int k = 0; k < FhogExtractor::kPlanes; ++k) {
        planes[size_t(k)] = fhogPlanes_[size_t(k)];
    }
    const cv::Mat* grey = &sample;
    if (sample.channels() == 3) {
        cv::cvtColor(sample, grey_, cv::COLOR_BGR2GRAY);
        grey = &grey_;
    }
    cv::Mat& out = planes[FhogExtractor::kPlanes];
    cv::resize(*grey, greyFloat_, cells, 0, 0, cv::INTER_AREA);
    // Grey levels about their mean and on the scale of the gradient planes, so that a change
    // of light or of the frame's value range changes little.
    cv::Scalar mean, dev;
    cv::meanStdDev(greyFloat_, mean, dev);
    contrast_ = dev[0];
    const double k = 0.2 / (dev[0] + 1.0);
    greyFloat_.convertTo(out, CV_32F, k, -mean[0] * k);
    if (!colourOn_) {
        return;
    }
    if (sample.channels() == 3) {
        colour_.compute(sample, cells, planes, PLANES);
    } else {
        for (size_t p = PLANES; p < planes.size(); ++p) {
            planes[p].create(cells, CV_32F);
            planes[p].setTo(0);
        }
    }
}

} // namespace wyr::zok
