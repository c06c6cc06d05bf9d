#pragma once

#include <cmath>

#include <opencv2/core.hpp>

namespace wyr::zok::testing {

// The best and second-best score of a correlation response (CV_32FC1) and where the best lies;
// values that are no score (beyond +-1.001, NaN) are passed over. The engines' agreement checks
// tell a tie of the best two positions, which engines may settle differently, by it.
struct TopTwo {
    double first = -2;
    double second = -2;
    cv::Point at{-1, -1};
};

inline TopTwo topTwo(const cv::Mat& response) {
    TopTwo top;
    for (int y = 0; y < response.rows; ++y) {
        for (int x = 0; x < response.cols; ++x) {
            const double v = response.at<float>(y, x);
            if (!(std::fabs(v) <= 1.001)) {
                continue;
            }
            if (v > top.first) {
                top.second = top.first;
                top.first = v;
                top.at = {x, y};
            } else if (v > top.second) {
                top.second = v;
            }
        }
    }
    return top;
}

} // namespace wyr::zok::testing
