#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "start_request.hpp"
#include "zok/flight_director.hpp"
#include "zok/zok_config.hpp"

namespace zok_gst {

// The trackers the element can run; the values are those of its "tracker" property.
enum class TrackerKind : int {
    CORR = 0,
    DCF = 1,
};

// The learned tracker where this build has it (it needs FFTW), else the correlation tracker.
inline constexpr TrackerKind kDefaultTracker = ZOK_WITH_FFTW ? TrackerKind::DCF : TrackerKind::CORR;

// What a track is started with: taken when the track starts, so that a change while tracking
// applies from the next start on.
struct TrackerSettings {
    TrackerKind kind = kDefaultTracker;
    // The configuration of both trackers: the library's defaults overlaid by a configuration
    // file, of which the chosen tracker takes its own section; without a file, the recommended
    // configuration for the correlation tracker and the defaults for the learned one.
    wyr::zok::ZokConfig config;
};

// What the element reports for one frame.
struct FrameReport {
    bool tracking = false; // a track existed on this frame (or a start was refused on it)
    bool started = false;  // the track started on this frame
    bool found = false;
    cv::Rect box;
    cv::Point offset;
    double confidence = 0.0;
    std::vector<double> scores;
    int64_t updateNs = 0;
    cv::Rect window;     // the window the frame's first search covered, when asked for
    std::string warning; // set when the frame refused a start or ended the track
};

// One track through a stream: starts on request, follows the target frame by frame, and ends on
// request or when the tracker fails. Used by the streaming thread only; the element hands over
// what other threads asked for with each frame.
class TrackSession {
public:
    // The next frame (re)starts the track with `settings` from `request`.
    void requestStart(const StartRequest& request, const TrackerSettings& settings);
    // Ends the track; the next frames report nothing until a new start.
    void drop();
    // The frames change to `size` and OpenCV `type`: a live track restarts on the next frame at
    // its last box scaled to the new size (moved inside the frame if rounding pushed it past an
    // edge). Returns true when it does, false when there was no track or nothing changed.
    bool reformat(const cv::Size& size, int type);

    bool active() const { return tracker_ || pending_.has_value(); }

    // Tracks on `frame` (8-bit, 1 or 3 channels, BGR order). With `wantWindow`, also reports the
    // window of the first search (before the update moves it on). Never raises for bad input or
    // a tracker's cv::Exception: the track ends and `warning` says why.
    FrameReport process(const cv::Mat& frame, bool wantWindow);

private:
    void start(const cv::Mat& frame, FrameReport& report);
    void update(const cv::Mat& frame, bool wantWindow, FrameReport& report);
    void readScores(FrameReport& report) const;

    std::optional<StartRequest> pending_;
    TrackerSettings settings_;
    cv::Ptr<cv::Tracker> tracker_;
    cv::Ptr<wyr::zok::FlightDirector> director_;
    cv::Size frameSize_;
    int frameType_ = -1;
    cv::Rect box_;
    cv::Point offset_;
};

} // namespace zok_gst
