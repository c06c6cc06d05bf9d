#pragma once

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "accuracy/gimbal/virtual_gimbal.hpp"
#include "zok/flight_director.hpp"
#include "zok/gimbal_controller.hpp"

namespace wyr::zok::accuracy {

// How a closed-loop run steers: the camera, the delay and the controller's law. The
// controller's field of view is the view's (VirtualCamera::viewFov()), set by ClosedLoop
// whatever `controller` says, so that its degrees are the gimbal's.
struct ClosedLoopSettings {
    VirtualCamera camera;
    int delayFrames = 1;
    GimbalController::Params controller;
};

// One tracker steering one virtual gimbal, as on a drone: on each frame the tracker, through a
// FlightDirector, sees only the gimbal's view; the centre offset it reports goes to a
// GimbalController sized to the view, and the rates it answers turn the gimbal, which moves the
// view of the frames to come. Frames on which the tracker reports the target lost (or raises)
// command the controller's lost(): zero rates.
class ClosedLoop {
public:
    // What one frame gave.
    struct Step {
        cv::Rect view;      // the crop the tracker saw, in frame pixels
        bool found = false; // the tracker's flag (false when it raised)
        bool raised = false;
    };

    // `tracker` must not be empty; `dtSeconds` is the time between frames.
    ClosedLoop(cv::Ptr<cv::Tracker> tracker, const ClosedLoopSettings& settings, double dtSeconds);

    // Points the view at the centre of `box` (frame pixels; as near as the travel allows) and
    // starts the tracker on the part of `box` inside that view. Returns the view; raises what
    // the tracker's init raises, and StsBadArg when `frame` is not the camera's frame size or
    // the box does not meet the view.
    cv::Rect start(const cv::Mat& frame, const cv::Rect2d& box);

    // Shows the tracker the current view of `frame` and steers by its answer.
    Step step(const cv::Mat& frame);

private:
    ClosedLoopSettings settings_;
    double dt_;
    cv::Ptr<FlightDirector> director_;
    cv::Ptr<GimbalController> controller_;
    cv::Ptr<VirtualGimbal> gimbal_; // made by start()
};

} // namespace wyr::zok::accuracy
