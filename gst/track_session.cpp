#include "track_session.hpp"

#include <chrono>
#include <cmath>

#include "geometry/geometry.hpp"
#include "track_drawing.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace zok_gst {

namespace {

using wyr::zok::FlightDirector;
using wyr::zok::TrackerCorr;
using wyr::zok::TrackerDcf;

int64_t nanosecondsSince(std::chrono::steady_clock::time_point started) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                started)
        .count();
}

std::string describe(const cv::Rect& box) {
    return std::to_string(box.x) + "," + std::to_string(box.y) + "," + std::to_string(box.width) +
           "," + std::to_string(box.height);
}

std::string describe(const cv::Size& size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

int scaled(int value, int to, int from) {
    return int(std::lround(double(value) * to / from));
}

} // namespace

void TrackSession::requestStart(const StartRequest& request, const TrackerSettings& settings) {
    pending_ = request;
    settings_ = settings;
}

void TrackSession::drop() {
    pending_.reset();
    tracker_.release();
    director_.release();
}

bool TrackSession::reformat(const cv::Size& size, int type) {
    if (!tracker_ || (size == frameSize_ && type == frameType_) || size.empty()) {
        return false;
    }
    cv::Rect box(scaled(box_.x, size.width, frameSize_.width),
                 scaled(box_.y, size.height, frameSize_.height),
                 std::max(1, scaled(box_.width, size.width, frameSize_.width)),
                 std::max(1, scaled(box_.height, size.height, frameSize_.height)));
    box = wyr::zok::shiftInside(box, size) & cv::Rect(cv::Point(), size);
    tracker_.release();
    director_.release();
    pending_ = StartRequest{false, box, {}, {}};
    return true;
}

FrameReport TrackSession::process(const cv::Mat& frame, bool wantWindow) {
    FrameReport report;
    if (pending_) {
        start(frame, report);
    } else if (tracker_) {
        update(frame, wantWindow, report);
    }
    return report;
}

void TrackSession::start(const cv::Mat& frame, FrameReport& report) {
    const StartRequest request = *pending_;
    drop();
    report.tracking = true;
    frameSize_ = frame.size();
    frameType_ = frame.type();
    cv::Rect box = request.box;
    try {
        if (request.fromOffset) {
            box = wyr::zok::boxAtOffset(request.offset, request.half.width, request.half.height,
                                        frameSize_);
        }
    } catch (const cv::Exception&) {
        report.warning = "the start box at offset " + std::to_string(request.offset.x) + "," +
                         std::to_string(request.offset.y) + " does not fit in the frame (" +
                         describe(frameSize_) + ")";
        return;
    }
    report.box = box;
    if (box.empty() || !wyr::zok::liesInside(box, frameSize_)) {
        report.warning = "the start box " + describe(box) + " does not lie inside the frame (" +
                         describe(frameSize_) + ")";
        return;
    }
    try {
        switch (settings_.kind) {
        case TrackerKind::CORR: {
            TrackerCorr::Params params = settings_.config.trackerCorr;
            // Frames are views of buffers that are unmapped after each frame: templates must be
            // copies, whatever the configuration says.
            params.cloneImage = true;
            tracker_ = TrackerCorr::create(params);
            director_ = FlightDirector::create(tracker_, FlightDirector::TRACKER_CORR);
            break;
        }
        case TrackerKind::DCF:
            tracker_ = TrackerDcf::create(settings_.config.trackerDcf);
            director_ = FlightDirector::create(tracker_, FlightDirector::TRACKER_OTHER);
            break;
        }
        const auto started = std::chrono::steady_clock::now();
        director_->init(frame, box);
        report.updateNs = nanosecondsSince(started);
    } catch (const cv::Exception& error) {
        drop();
        report.warning = "the tracker refused the start box " + describe(box) + ": " + error.err;
        return;
    }
    box_ = box;
    offset_ = wyr::zok::centreOffset(box, frameSize_);
    report.started = true;
    report.found = true;
    report.offset = offset_;
    report.confidence = 1.0;
}

void TrackSession::update(const cv::Mat& frame, bool wantWindow, FrameReport& report) {
    report.tracking = true;
    report.box = box_;
    report.offset = offset_;
    if (frame.size() != frameSize_ || frame.type() != frameType_) {
        // reformat() restarts the track before frames of a new format arrive; this is the
        // safety net for a caller that did not announce them.
        drop();
        report.warning = "the frames changed from " + describe(frameSize_) + " to " +
                         describe(frame.size()) +
                         " (or their type changed) without notice: "
                         "the track ends";
        return;
    }
    if (wantWindow) {
        report.window = zok_track::nextSearchWindow(*tracker_, frameSize_);
    }
    cv::Rect box;
    try {
        const auto started = std::chrono::steady_clock::now();
        report.found = director_->update(frame, box);
        report.updateNs = nanosecondsSince(started);
        if (report.found) {
            const cv::Point offset = wyr::zok::centreOffset(box, frameSize_);
            box_ = box;
            offset_ = offset;
        }
    } catch (const cv::Exception& error) {
        drop();
        report.found = false;
        report.warning = std::string("the tracker failed, and the track ends: ") + error.err;
        return;
    }
    report.box = box_;
    report.offset = offset_;
    readScores(report);
}

void TrackSession::readScores(FrameReport& report) const {
    if (const cv::Ptr<TrackerCorr> corr = tracker_.dynamicCast<TrackerCorr>()) {
        report.scores = corr->matches();
        report.confidence = report.scores.empty() ? 0.0 : report.scores.back();
    } else if (const cv::Ptr<TrackerDcf> dcf = tracker_.dynamicCast<TrackerDcf>()) {
        report.confidence = dcf->confidence();
    }
}

} // namespace zok_gst
