#pragma once

#include <opencv2/core.hpp>

#include "synthetic/synthetic.hpp"
#include "tracker/tracker_corr_impl.hpp"

namespace wyr::zok::test {

inline TrackerCorrImpl& implOf(const cv::Ptr<TrackerCorr>& tracker) {
    return dynamic_cast<TrackerCorrImpl&>(*tracker);
}

inline cv::Mat texture(const cv::Size& size, int type = CV_8UC1, uint64_t seed = 1) {
    cv::RNG rng(seed);
    return synthetic::makeTexture(size, type, rng);
}

// Small frames keep 200-frame sequences fast; steps of up to 20 pixels stay inside the first
// window (four target widths).
inline synthetic::SceneOptions sceneOptions(int type) {
    synthetic::SceneOptions options;
    options.frameSize = {320, 240};
    options.targetSize = {24, 18};
    options.type = type;
    options.seed = 3;
    return options;
}

// True when `inner` points into the pixels of `outer`.
inline bool sharesPixels(const cv::Mat& inner, const cv::Mat& outer) {
    return inner.data >= outer.datastart && inner.data < outer.dataend;
}

} // namespace wyr::zok::test
