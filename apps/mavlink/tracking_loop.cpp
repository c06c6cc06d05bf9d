#include "tracking_loop.hpp"

#include <algorithm>
#include <cmath>

#include "geometry/geometry.hpp"

namespace zok_mavlink {

namespace {

// A side of at least kMinRequestSide around `centre`, moved to lie inside [0, extent).
void fitSide(double low, double high, int extent, int& start, int& size) {
    size = std::min(extent, std::max(kMinRequestSide, int(std::lround(high - low))));
    const double centre = 0.5 * (low + high);
    start = std::clamp(int(std::lround(centre - 0.5 * size)), 0, extent - size);
}

NormalisedBox normalised(const cv::Rect& box, const cv::Size& frame) {
    return {double(box.x) / frame.width, double(box.y) / frame.height,
            double(box.x + box.width) / frame.width, double(box.y + box.height) / frame.height};
}

} // namespace

cv::Rect requestBox(const TrackRequest& request, const cv::Size& frame) {
    double left = request.box.left * frame.width;
    double right = request.box.right * frame.width;
    double top = request.box.top * frame.height;
    double bottom = request.box.bottom * frame.height;
    if (request.kind == TrackRequest::Kind::Point) {
        // The radius counts in image widths on both axes: pixels are square.
        const double radius = request.radius * frame.width;
        left = request.x * frame.width - radius;
        right = request.x * frame.width + radius;
        top = request.y * frame.height - radius;
        bottom = request.y * frame.height + radius;
    }
    cv::Rect box;
    fitSide(left, right, frame.width, box.x, box.width);
    fitSide(top, bottom, frame.height, box.y, box.height);
    return box;
}

TrackingLoop::TrackingLoop(zok_track::ChosenTracker tracker,
                           const wyr::zok::GimbalController::Params& gimbal)
    : tracker_(std::move(tracker)), controller_(wyr::zok::GimbalController::create(gimbal)) {}

TrackingLoop::Step TrackingLoop::process(const cv::Mat& frame, int index,
                                         const std::optional<TrackRequest>& request,
                                         double dtSeconds) {
    Step step;
    step.report.frameWidth = frame.cols;
    step.report.frameHeight = frame.rows;
    zok_track::FrameResult row;
    row.frame = index;
    if (request && request->kind == TrackRequest::Kind::Stop) {
        director_.release();
    } else if (request) {
        box_ = requestBox(*request, frame.size());
        controller_->reset();
        try {
            director_ = tracker_.createDirector();
            director_->init(frame, box_);
        } catch (const cv::Exception&) {
            director_.release();
            step.report.state = TrackReport::State::Failed;
            return step;
        }
        // The target sits where the ground station marked it: the gimbal starts turning towards
        // it at once.
        offset_ = wyr::zok::centreOffset(box_, frame.size());
        const wyr::zok::GimbalController::Rates rates =
            controller_->update(cv::Point2d(offset_), frame.size(), 0.0);
        step.report.state = TrackReport::State::Tracking;
        step.report.box = normalised(box_, frame.size());
        step.report.pitchRate = rates.pitch;
        step.report.yawRate = rates.yaw;
        row.found = true;
        row.box = box_;
        row.offset = offset_;
        row.scores = tracker_.scores();
        step.result = row;
        return step;
    }
    if (!director_) {
        return step; // idle
    }
    try {
        row.found = director_->update(frame, box_);
        if (row.found) {
            offset_ = wyr::zok::centreOffset(box_, frame.size());
            const wyr::zok::GimbalController::Rates rates =
                controller_->update(cv::Point2d(offset_), frame.size(), dtSeconds);
            step.report.pitchRate = rates.pitch;
            step.report.yawRate = rates.yaw;
        }
    } catch (const cv::Exception&) {
        // A tracker that cannot go on ends the track rather than the program.
        director_.release();
        step.report.state = TrackReport::State::Failed;
        return step;
    }
    if (row.found) {
        step.report.state = TrackReport::State::Tracking;
    } else {
        controller_->lost();
        step.report.state = TrackReport::State::Lost;
    }
    row.box = box_;
    row.offset = offset_; // unchanged from the last frame found, as in zok-track
    row.scores = tracker_.scores();
    step.report.box = normalised(box_, frame.size());
    step.result = row;
    return step;
}

} // namespace zok_mavlink
