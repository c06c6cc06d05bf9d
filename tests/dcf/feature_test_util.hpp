#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "synthetic/synthetic.hpp"

namespace wyr::zok::test {

// Independent uniform values over the full 8-bit range: every orientation and many ties of
// magnitude between channels.
inline cv::Mat noiseImage(const cv::Size& size, int type, uint64_t seed) {
    cv::Mat image(size, type);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

// The generated scene's smoothed texture with a textured target on it: edges, flat stretches
// and gentle slopes, as in real footage.
inline cv::Mat sceneImage(const cv::Size& size, int type, uint64_t seed) {
    synthetic::SceneOptions options;
    options.frameSize = size;
    options.targetSize = {size.width / 3, size.height / 3};
    options.type = type;
    options.seed = seed;
    return synthetic::Scene(options).render({size.width / 4.0, size.height / 3.0});
}

inline double maxAbsDifference(const std::vector<cv::Mat>& a, const std::vector<cv::Mat>& b) {
    double worst = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        worst = std::max(worst, cv::norm(a[i], b[i], cv::NORM_INF));
    }
    return worst;
}

} // namespace wyr::zok::test
