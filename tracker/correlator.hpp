#pragma once

#include <memory>

#include <opencv2/core.hpp>

#include "zok/tracker_corr.hpp"

namespace wyr::zok {

// The tracker's one correlation: a normalised correlation score of `templ` at every position
// inside `window`, weighted per pixel by `weights` when it is not empty. The response has
// (window - templ + 1) columns and rows and is what cv::matchTemplate gives for the engine's
// method. Every search goes through here, so engines can be swapped without touching the
// search logic. An engine may keep buffers and plans between calls, so one engine belongs to
// one tracker and is never shared between threads.
class Correlator {
public:
    virtual ~Correlator() = default;

    virtual cv::Mat correlate(const cv::Mat& window, const cv::Mat& templ,
                              const cv::Mat& weights) = 0;

    // `method` is cv::TM_CCORR_NORMED or cv::TM_CCOEFF_NORMED. Raises cv::Exception
    // (StsNotImplemented) for an engine this build does not have.
    static std::unique_ptr<Correlator> create(TrackerCorr::Engine engine, int method);
};

} // namespace wyr::zok
