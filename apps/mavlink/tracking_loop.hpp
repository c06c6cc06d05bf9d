#pragma once

#include <optional>

#include <opencv2/core.hpp>

#include "camera_component.hpp"
#include "chosen_tracker.hpp"
#include "result_writer.hpp"
#include "zok/flight_director.hpp"
#include "zok/gimbal_controller.hpp"

namespace zok_mavlink {

// The smallest side, in pixels, of a box a tracking request becomes: a point's radius of 0
// means one pixel, too little to track.
inline constexpr int kMinRequestSide = 16;

// The box in pixels that `request` (Rectangle or Point) marks on a frame of size `frame`: at
// least kMinRequestSide on each side (or the frame's side, when smaller) and inside the frame.
cv::Rect requestBox(const TrackRequest& request, const cv::Size& frame);

// Frames to tracker to gimbal rates: starts the tracker where a request says, follows the target
// through the flight director, and turns its centre offset into rates with the gimbal
// controller.
class TrackingLoop {
public:
    TrackingLoop(zok_track::ChosenTracker tracker,
                 const wyr::zok::GimbalController::Params& gimbal);

    struct Step {
        TrackReport report;
        // The frame's row for the per-frame output, while tracking; the frame that starts a
        // track counts as found, as in zok-track.
        std::optional<zok_track::FrameResult> result;
    };

    // Carries out `request`, if any, then handles frame number `index`, `dtSeconds` after the
    // previous one. A request whose tracker cannot start gives a Failed report.
    Step process(const cv::Mat& frame, int index, const std::optional<TrackRequest>& request,
                 double dtSeconds);

private:
    zok_track::ChosenTracker tracker_;
    cv::Ptr<wyr::zok::GimbalController> controller_;
    cv::Ptr<wyr::zok::FlightDirector> director_; // empty while idle
    cv::Rect box_;
    cv::Point offset_;
};

} // namespace zok_mavlink
