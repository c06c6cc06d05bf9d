#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "accuracy/dataset/sequence.hpp"

namespace wyr::zok::accuracy {

// The centre of a box, in the continuous coordinates in which pixel (i, j) spans i..i+1.
inline cv::Point2d centre(const cv::Rect2d& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}

// Intersection over union of two boxes; 0 when both are empty.
double overlap(const cv::Rect2d& a, const cv::Rect2d& b);
// Distance between the boxes' centres, in pixels.
double centreError(const cv::Rect2d& box, const cv::Rect2d& truth);
// The centre error with its x part divided by the truth's width and its y part by its height,
// so that it compares targets of every size.
double normalisedCentreError(const cv::Rect2d& box, const cv::Rect2d& truth);

// The success plot's IoU thresholds 0, 0.05, ..., 1; the precision plot's centre errors
// 0, 1, ..., 50 px; the normalised precision plot's 0, 0.01, ..., 0.5.
inline constexpr int SUCCESS_STEPS = 21;
inline constexpr int PRECISION_STEPS = 51;
inline constexpr int NORMALISED_STEPS = 51;
inline constexpr double successThreshold(int i) {
    return i * 0.05;
}
inline constexpr double precisionThreshold(int i) {
    return i;
}
inline constexpr double normalisedThreshold(int i) {
    return i * 0.01;
}

// The curves of one sequence, or their means over sequences.
struct Curves {
    std::array<double, SUCCESS_STEPS> success{};       // share with IoU above the threshold
    std::array<double, PRECISION_STEPS> precision{};   // share with error at most the threshold
    std::array<double, NORMALISED_STEPS> normalised{}; // same, on the normalised error

    // The area under each curve: the mean of its points.
    double successAuc() const;
    double normalisedAuc() const;
    double successAt50() const { return success[10]; } // IoU above 0.5
    double precisionAt20() const { return precision[20]; }
};

// Scores `boxes` against `truth` over the frames where `scored` is set (both as long as
// `truth`). With no scored frame every curve is 0.
Curves score(const std::vector<cv::Rect2d>& boxes, const std::vector<cv::Rect2d>& truth,
             const std::vector<bool>& scored);

// The point-by-point mean of several sequences' curves (each sequence weighs the same).
Curves meanCurves(const std::vector<Curves>& curves);

inline constexpr double OFF_TARGET_IOU = 0.3;
struct FlagShares {
    double visibleLost = 0, foundOffTarget = 0, absentFound = 0;
};
// How honest a tracker's found flag was on one sequence, over the frames after `start`: the
// shares of the visible (annotated) frames it reported lost, of the visible frames it reported
// found while its box was off the target (IoU below OFF_TARGET_IOU: a drift the flag did not
// own up to, which a gimbal would steer after), and of the absent frames it reported found. A
// share of frames the sequence lacks is NaN. `boxes` and `found` hold one entry a frame.
FlagShares flagShares(const RealSequence& seq, size_t start, const std::vector<cv::Rect2d>& boxes,
                      const std::vector<uint8_t>& found);

// The q-quantile (0..1) of `values` by the nearest rank; 0 for no value.
double quantile(std::vector<double> values, double q);

} // namespace wyr::zok::accuracy
