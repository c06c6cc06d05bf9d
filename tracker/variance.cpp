#include "tracker/variance.hpp"

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

cv::Mat localVarianceMap(const VarianceSettings& settings, const cv::Mat& patch) {
    cv::Mat values;
    if (settings.greyscale) {
        cv::Mat grey;
        cv::cvtColor(patch, grey, cv::COLOR_BGR2GRAY);
        grey.convertTo(values, CV_32F, 1.0, 0.0);
    } else {
        patch.convertTo(values, CV_32F, 1.0, 0.0);
    }
    const cv::Size kernel(settings.kSize, settings.kSize);
    cv::Mat mean;
    cv::Mat meanOfSquares;
    cv::blur(values, mean, kernel, cv::Point(-1, -1), cv::BORDER_DEFAULT);
    cv::blur(values.mul(values), meanOfSquares, kernel, cv::Point(-1, -1), cv::BORDER_DEFAULT);
    return cv::abs(meanOfSquares - mean.mul(mean));
}

double maxLocalVariance(const VarianceSettings& settings, const cv::Mat& patch) {
    if (patch.empty()) {
        return 0.0;
    }
    double largest = 0.0;
    cv::minMaxLoc(localVarianceMap(settings, patch).reshape(1), nullptr, &largest);
    return largest;
}

} // namespace wyr::zok
