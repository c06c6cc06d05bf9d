#include "tracker/empty_boxes.hpp"

#include <limits>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

void markEmptyBoxes(const cv::Mat& window, const cv::Rect& support, cv::Mat& response) {
    const int cn = window.channels();
    // 1 where a channel of a pixel is not zero, 0 where it is.
    cv::Mat nonZero;
    cv::compare(window.reshape(1, window.rows), 0, nonZero, cv::CMP_NE);
    if (cv::countNonZero(nonZero) == int(nonZero.total())) {
        return;
    }
    nonZero &= 1;
    cv::Mat counts;
    cv::integral(nonZero.reshape(cn, window.rows), counts, CV_32S);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int y = 0; y < response.rows; ++y) {
        const int* top = counts.ptr<int>(y + support.y);
        const int* bottom = counts.ptr<int>(y + support.y + support.height);
        float* row = response.ptr<float>(y);
        for (int x = 0; x < response.cols; ++x) {
            const int left = (x + support.x) * cn;
            const int right = (x + support.x + support.width) * cn;
            int total = 0;
            for (int c = 0; c < cn; ++c) {
                total += bottom[right + c] - bottom[left + c] - top[right + c] + top[left + c];
            }
            if (total == 0) {
                row[x] = nan;
            }
        }
    }
}

cv::Rect weightSupport(const cv::Mat& mask) {
    // cv::compare refuses an empty matrix against a scalar; the mask of an empty box has no
    // weights, so no support.
    if (mask.empty()) {
        return cv::Rect();
    }
    cv::Mat positive;
    cv::compare(mask, 0, positive, cv::CMP_GT);
    return cv::boundingRect(positive);
}

} // namespace wyr::zok
