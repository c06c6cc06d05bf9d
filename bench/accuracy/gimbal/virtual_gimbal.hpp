#pragma once

#include <deque>

#include <opencv2/core.hpp>

#include "zok/gimbal_controller.hpp"

namespace wyr::zok::accuracy {

// The camera a closed-loop run simulates: a pinhole camera that sees the whole recorded frame
// across `frameFov` degrees, of which the tracker gets a `view`-sized crop; turning the gimbal
// moves the crop. Degrees become pixels through the one focal length the whole frame defines,
// so the crop is a camera of a narrower field of view (viewFov()) with the same focal length.
struct VirtualCamera {
    cv::Size frame;         // the recorded frame, in pixels
    cv::Size view;          // the crop the tracker sees; at most the frame
    double frameFov = 60.0; // horizontal field of view of the whole frame, in degrees

    // Focal length in pixels: frame.width spans frameFov.
    double focalLength() const;
    // Horizontal field of view of the crop, in degrees, for GimbalController::Params.
    double viewFov() const;
};

// A pan-tilt gimbal carrying the virtual camera. Its state is the pointing (yaw right, pitch
// up, in degrees from the recorded frame's optical axis), which the rates commanded move; the
// view is the crop centred on where the camera points, and the gimbal's travel ends where the
// crop meets the frame's edge.
//
// A command takes effect `delayFrames` frame intervals after the frame it was computed on:
// the rates commanded after frame k turn the gimbal between frames k + delay and
// k + delay + 1, so with delay 0 frame k + 1 already shows them; until then the gimbal holds
// the rates commanded before (zero at the start).
class VirtualGimbal {
public:
    // Points the camera so that the view is centred on `aim` (frame pixels), as near as the
    // travel allows. Raises StsBadArg for a view that is empty or larger than the frame, a
    // negative delay or a field of view outside 1..170 degrees.
    VirtualGimbal(const VirtualCamera& camera, int delayFrames, const cv::Point2d& aim);

    // The crop for the coming frame, in frame pixels; always inside the frame.
    cv::Rect view() const;

    // Commands `rates` (degrees a second) after a frame; the gimbal then turns for `dtSeconds`
    // at the rates that the delay makes due, and stops at the end of its travel.
    void command(const GimbalController::Rates& rates, double dtSeconds);

    // Where the camera points.
    GimbalController::Angles pointing() const { return pointing_; }

private:
    // The pointing clamped to the travel.
    GimbalController::Angles withinTravel(GimbalController::Angles a) const;
    // The centre of the view, in continuous frame pixels, for a pointing.
    cv::Point2d viewCentre(const GimbalController::Angles& a) const;

    VirtualCamera camera_;
    double focal_;
    GimbalController::Angles pointing_;
    std::deque<GimbalController::Rates> pending_; // commanded, not yet due
};

} // namespace wyr::zok::accuracy
