#include "dcf/camera_motion.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "dcf/region.hpp"

namespace wyr::zok {

namespace {

// The least peak of the phase correlation (0..1) taken as a shift: below it the frames share
// too little to say how the camera moved.
constexpr double MIN_RESPONSE = 0.08;

} // namespace

void CameraMotion::reset() {
    hasLast_ = false;
    measured_ = false;
}

cv::Point2f CameraMotion::measure(const cv::Mat& frame, const cv::Rect2f& ignore) {
    // Every few pixels first (a read of a few thousand pixels, not of the frame), then averaged
    // down by two: coarse structure is all a whole-image shift needs, and the cost stays far
    // below an update's.
    const int width = std::min(WIDTH, frame.cols);
    const cv::Size small(width,
                         std::max(1, int(std::lround(double(width) * frame.rows / frame.cols))));
    if (frame.cols >= 4 * width && frame.rows >= 4 * small.height) {
        cv::resize(frame, whole_, small * 2, 0, 0, cv::INTER_NEAREST);
        cv::resize(whole_, reduced_, small, 0, 0, cv::INTER_AREA);
    } else {
        cv::resize(frame, reduced_, small, 0, 0, cv::INTER_AREA);
    }
    toGrey(reduced_, grey_);
    grey_.convertTo(next_, CV_32F);
    // Pixels no camera gives (float frames) leave no trace: the frame is taken as blank.
    if (!cv::checkRange(next_, true)) {
        next_.setTo(0);
    }
    measured_ = true;
    if (next_.rows < 2 || next_.cols < 2) {
        return {};
    }
    // The window is applied here, once a frame: OpenCV's phaseCorrelate() applies its own in
    // place on inputs of a size its transform takes as they are, which would window the kept
    // frame again at every call.
    if (window_.size() != next_.size()) {
        cv::createHanningWindow(window_, next_.size(), CV_32F);
    }
    cv::multiply(next_, window_, next_);
    if (!hasLast_ || last_.size() != next_.size()) {
        return {};
    }
    const double toSmallX = double(next_.cols) / frame.cols;
    const double toSmallY = double(next_.rows) / frame.rows;
    const cv::Rect hidden =
        cv::Rect(int(std::floor(ignore.x * toSmallX)), int(std::floor(ignore.y * toSmallY)),
                 int(std::ceil(ignore.width * toSmallX)) + 1,
                 int(std::ceil(ignore.height * toSmallY)) + 1) &
        cv::Rect(0, 0, next_.cols, next_.rows);
    const cv::Mat* a = &last_;
    const cv::Mat* b = &next_;
    // Where the target would cover most of the frame, what is left is too little to go by.
    if (!hidden.empty() && size_t(hidden.area()) < next_.total() / 2) {
        last_.copyTo(lastMasked_);
        next_.copyTo(nextMasked_);
        lastMasked_(hidden).setTo(0);
        nextMasked_(hidden).setTo(0);
        a = &lastMasked_;
        b = &nextMasked_;
    }
    double response = 0.0;
    const cv::Point2d shift = cv::phaseCorrelate(*a, *b, cv::noArray(), &response);
    if (!(response >= MIN_RESPONSE) || !std::isfinite(shift.x) || !std::isfinite(shift.y)) {
        return {};
    }
    return {float(shift.x / toSmallX), float(shift.y / toSmallY)};
}

void CameraMotion::commit() {
    if (measured_) {
        std::swap(last_, next_);
        hasLast_ = true;
        measured_ = false;
    }
}

} // namespace wyr::zok
