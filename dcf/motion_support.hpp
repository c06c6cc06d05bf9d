#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// The first box holds background as well as the target, and a filter taught on it learns both.
// Where the target moves across its surroundings between the first two frames (or its
// surroundings stream past a target the camera follows), the box's background moves with the
// surroundings and the target apart from them: the cells that move with the surroundings can
// be left out of the filter's support. Where the two cannot be told apart (nothing moves, the
// whole box moves with the rest, the texture is too poor to follow), nothing is cut.
class MotionSupport {
public:
    // Points whose flow, followed forward and back, returns further than this from where it
    // started are not believed.
    static constexpr float MAX_ROUND_TRIP = 1.0f;
    // A cell moves with its surroundings when its flow lies within this of theirs, in pixels.
    static constexpr float WITH_SURROUNDINGS = 1.5f;
    // The share of the box's followed cells that must move apart before any is cut, and above
    // which none is (the whole box moves: nothing in it is background).
    static constexpr float LEAST_APART = 0.2f;
    static constexpr float MOST_APART = 0.95f;

    // Keeps the grey levels of the search region (`side` pixels square about `centre`, frame
    // pixels; with a margin for the flow's window) of the first frame, whose `cells` x `cells`
    // grid of the filter the support is drawn on. 8-bit or float frames with 1, 3 or 4
    // channels; a float frame's levels are mapped to 8 bits by this frame's range.
    void start(const cv::Mat& frame, const cv::Point2f& centre, float side, int cells);
    // Whether start() was called and cut() not yet.
    bool pending() const { return pending_; }
    // Compares `frame` (the next frame, of the first's size and type) with the first, and
    // writes into `cut` the support `support` (cells x cells CV_32F, the box's cells non-zero)
    // with the cells that moved with their surroundings set to 0. Returns whether any was:
    // false leaves `cut` unspecified. Once called, pending() is false whatever it returned.
    bool cut(const cv::Mat& frame, const cv::Mat& support, cv::Mat& cut);

private:
    cv::Mat greyOf(const cv::Mat& frame) const;

    cv::Mat first_;                    // the first frame's region with its margin, 8-bit grey
    cv::Rect area_;                    // that region in the frame
    cv::Point2f origin_;               // frame position of cell (0, 0)'s centre
    float cell_ = 0.0f;                // frame pixels a cell
    double offset_ = 0.0, gain_ = 1.0; // a float frame's levels to 8 bits
    bool pending_ = false;
};

} // namespace wyr::zok
