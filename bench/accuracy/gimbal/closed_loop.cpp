#include "accuracy/gimbal/closed_loop.hpp"

#include <cmath>

#include "accuracy/dataset/metrics.hpp"

namespace wyr::zok::accuracy {
namespace {

GimbalController::Params sizedToView(const ClosedLoopSettings& s) {
    GimbalController::Params p = s.controller;
    p.horizontalFov = s.camera.viewFov();
    p.verticalFov = 0.0; // square pixels: the one focal length on both axes
    return p;
}

} // namespace

ClosedLoop::ClosedLoop(cv::Ptr<cv::Tracker> tracker, const ClosedLoopSettings& settings,
                       double dtSeconds)
    : settings_(settings), dt_(dtSeconds),
      director_(FlightDirector::create(std::move(tracker), FlightDirector::TRACKER_OTHER)),
      controller_(GimbalController::create(sizedToView(settings))) {}

cv::Rect ClosedLoop::start(const cv::Mat& frame, const cv::Rect2d& box) {
    if (frame.size() != settings_.camera.frame) {
        CV_Error(cv::Error::StsBadArg, "the frame is not the virtual camera's size");
    }
    gimbal_ = cv::makePtr<VirtualGimbal>(settings_.camera, settings_.delayFrames, centre(box));
    const cv::Rect view = gimbal_->view();
    const cv::Rect inView(int(std::lround(box.x)) - view.x, int(std::lround(box.y)) - view.y,
                          int(std::lround(box.width)), int(std::lround(box.height)));
    const cv::Rect start = inView & cv::Rect(cv::Point(), view.size());
    if (start.empty()) {
        CV_Error(cv::Error::StsBadArg, "the start box lies outside the view");
    }
    controller_->reset();
    director_->init(frame(view).clone(), start);
    return view;
}

ClosedLoop::Step ClosedLoop::step(const cv::Mat& frame) {
    CV_Assert(gimbal_ && frame.size() == settings_.camera.frame);
    Step s;
    s.view = gimbal_->view();
    // A camera delivers a buffer of its own, not a window into a larger image.
    const cv::Mat image = frame(s.view).clone();
    cv::Point offset;
    try {
        s.found = director_->updateOffset(image, offset);
    } catch (const std::exception&) {
        s.raised = true;
    }
    const GimbalController::Rates rates =
        s.found ? controller_->update(offset, image.size(), dt_) : controller_->lost();
    gimbal_->command(rates, dt_);
    return s;
}

} // namespace wyr::zok::accuracy
