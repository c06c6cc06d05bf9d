#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok::synthetic {

// A textured target over a textured background, both drawn from a fixed seed, so that every run
// sees the same pixels and the target's true position is known exactly.
struct SceneOptions {
    cv::Size frameSize{640, 480};
    cv::Size targetSize{40, 30};
    int type = CV_8UC1; // CV_8UC1 or CV_8UC3
    uint64_t seed = 1;
    // Background regions painted flat grey: featureless ground for the variance filter.
    std::vector<cv::Rect> flatRegions;
};

// Smoothed random texture with values spread over the full 8-bit range.
cv::Mat makeTexture(const cv::Size& size, int type, cv::RNG& rng);

class Scene {
public:
    explicit Scene(const SceneOptions& options);

    // A frame with the target's top-left corner at `topLeft`, which may be fractional (the
    // target is then resampled bilinearly). Without the target, only the background shows.
    cv::Mat render(const cv::Point2d& topLeft, bool targetVisible = true) const;

    const SceneOptions& options() const { return options_; }
    const cv::Mat& target() const { return target_; }

private:
    SceneOptions options_;
    cv::Mat background_;
    cv::Mat target_;
    cv::Mat targetValues_; // the target as floats, and a coverage of 1 over it, for blending
    cv::Mat targetCoverage_;
};

// Whole-pixel path of `frames` positions starting at `start`, each step between 1 and `maxStep`
// pixels along each axis in a direction that keeps the target inside the frame.
std::vector<cv::Point> randomWalk(const SceneOptions& options, const cv::Point& start, int frames,
                                  int maxStep, uint64_t seed);

} // namespace wyr::zok::synthetic
