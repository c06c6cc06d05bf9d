#pragma once

#include <string>

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

namespace zok_track {

// What is drawn on a tracked frame.
struct TrackDrawing {
    bool found = false;
    cv::Rect box;      // the tracker's box
    cv::Point offset;  // the box centre's offset from the image centre
    cv::Rect window;   // the window of the frame's first search; empty draws none
    std::string label; // written at the top left; empty writes none
    cv::Size frame;    // the size of the frame the box belongs to; empty: the canvas's
};

// Draws the search window (yellow), the box (green when found, red when lost), a cross on the
// frame's centre and an arrow from it along the offset, then the label, onto `canvas` in place.
// On a frame of one channel the colours become their grey levels; a fourth channel is left 0.
void drawTrack(cv::Mat& canvas, const TrackDrawing& drawing);

// The window that a TrackerCorr's next first search will cover in a frame of `frame` size:
// around the reference template's stored offset, as the tracker itself computes it. Read it
// before the update, which moves it on. Empty for a tracker of another kind or one not started.
cv::Rect nextSearchWindow(const cv::Tracker& tracker, const cv::Size& frame);

} // namespace zok_track
