#include "tracker/correlate.hpp"

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

cv::Mat correlate(const cv::Mat& window, const cv::Mat& templ, const cv::Mat& weights) {
    cv::Mat response;
    cv::matchTemplate(window, templ, response, cv::TM_CCORR_NORMED, weights);
    return response;
}

} // namespace wyr::zok
