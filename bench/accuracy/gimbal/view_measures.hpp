#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok::accuracy {

// How well a closed loop kept the target in its view, judged from the true boxes mapped into
// the view. Positions are continuous pixels (pixel (i, j) spans i..i+1); the target is in the
// view when the centre of its true box lies inside the view's rectangle, and in the central
// third when it lies within the middle third of the view's width and of its height.
struct ViewScore {
    size_t scored = 0;         // annotated frames after the start frame
    size_t inView = 0;         // of those, frames with the target in the view
    size_t inCentralThird = 0; // of those, frames with it in the central third
    // The mean distance from the view's centre to the target's, over the scored frames with the
    // target in the view (NaN when there are none).
    double meanError = std::numeric_limits<double>::quiet_NaN();
    size_t frames = 0; // frames from the start frame to the end of the sequence
    // Frames from the start frame up to the last scored frame with the target in the view,
    // after which it never came back; all `frames` when the last scored frame has it in view
    // (or nothing is scored). The start frame has it in view by construction.
    size_t keptFrames = 0;

    bool lostForGood() const { return keptFrames < frames; }
    double centralThirdShare() const { return scored ? double(inCentralThird) / scored : 0.0; }
    double keptShare() const { return frames ? double(keptFrames) / frames : 0.0; }
};

// Scores the views of one run (`views[k]` the crop frame k showed, in frame pixels) against
// `truth` from frame `start` on; `scored[k]` says which frames carry a box (all three as long).
ViewScore scoreViews(const std::vector<cv::Rect2d>& views, const std::vector<cv::Rect2d>& truth,
                     const std::vector<bool>& scored, size_t start);

} // namespace wyr::zok::accuracy
