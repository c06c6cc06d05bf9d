#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// The camera's motion between consecutive frames, as one translation of the whole image: the
// phase correlation of the frames shrunk to a small grey image. A camera that pans, or follows
// its target, moves the background across the image; knowing by how much lets the tracker tell
// a target that moves from one that stands still while its surroundings stream past.
class CameraMotion {
public:
    // Width, in pixels, of the shrunk frames (their height keeps the frame's aspect ratio).
    static constexpr int WIDTH = 160;

    // Forgets the frames seen.
    void reset();
    // Measures the shift of the image's content from the last frame committed to `frame`, in
    // frame pixels: (0, 0) for the first frame, or when the correlation's peak is too weak to
    // believe (a scene without texture, a change of view). The region `ignore` (frame pixels;
    // the target and its surroundings) is left out of both frames, so that a large target's own
    // motion is not taken for the camera's. Changes nothing until commit(), so that a call
    // refused later leaves the estimate as it was.
    cv::Point2f measure(const cv::Mat& frame, const cv::Rect2f& ignore = cv::Rect2f());
    // Keeps the frame last measured as the one the next is compared with.
    void commit();

private:
    cv::Mat last_, next_, window_;
    cv::Mat lastMasked_, nextMasked_;
    cv::Mat whole_, reduced_, grey_; // the frame subsampled to twice WIDTH, then to WIDTH
    bool hasLast_ = false;
    bool measured_ = false;
};

} // namespace wyr::zok
