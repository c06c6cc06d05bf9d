#pragma once

#include <string>
#include <vector>

#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <opencv2/core.hpp>

#include "ball_frames.hpp"
#include "zok/zoktrack_meta.h"

namespace zok_gst_test {

// A zoktrack element in a GstHarness, with a bus of its own to read its messages from.
class TrackHarness {
public:
    TrackHarness();
    ~TrackHarness();
    TrackHarness(const TrackHarness&) = delete;
    TrackHarness& operator=(const TrackHarness&) = delete;

    GstHarness* harness() const { return h_; }
    GstElement* element() const { return h_->element; }

    // Sets the caps of the frames pushed next, e.g. "video/x-raw,format=BGR,width=...".
    void setCaps(const std::string& caps);
    // Pushes one frame (8-bit, 1, 3 or 4 channels as the caps say) and pulls it back out;
    // returns the frame as it came out, with its meta copied into `meta` when it had one.
    cv::Mat pushFrame(const cv::Mat& frame, bool& hadMeta, ZokTrackMeta& meta);
    // The zoktrack element messages posted so far, taken off the bus in order.
    std::vector<GstStructure*> takeReports();
    // The texts of the error or warning messages posted so far. Messages of other types are
    // taken off the bus too: take errors and warnings together with takeProblems().
    std::vector<std::string> takeTexts(GstMessageType type);
    struct Problems {
        std::vector<std::string> errors, warnings;
    };
    Problems takeProblems();

private:
    cv::Mat pull(bool& hadMeta, ZokTrackMeta& meta);

    GstHarness* h_;
    GstBus* bus_;
    GstVideoInfo info_;
};

} // namespace zok_gst_test
