#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "zok/flight_director.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace zok_track {

// Which tracker follows the target.
enum class TrackerKind {
    Corr, // TrackerCorr, from the recommended configuration
    Dcf,  // TrackerDcf, from its defaults
};

// The tracker of a run that does not name one: the learned tracker, which follows real footage
// better (docs/accuracy.md), wherever the build has FFTW, which it needs.
inline constexpr TrackerKind kDefaultTracker = ZOK_WITH_FFTW ? TrackerKind::Dcf : TrackerKind::Corr;

// The name --tracker gives a kind.
const char* trackerName(TrackerKind kind);

// The tracker of the kind a tool's options chose, with what the tool reads of it besides boxes.
class ChosenTracker {
public:
    // Only the chosen kind's parameters are used.
    ChosenTracker(TrackerKind kind, const wyr::zok::TrackerCorr::Params& corrParams,
                  const wyr::zok::TrackerDcf::Params& dcfParams);

    // A new tracker of the chosen kind behind a flight director; it replaces the previous one.
    cv::Ptr<wyr::zok::FlightDirector> createDirector();

    // The window the next update's first search will cover; none for the learned tracker,
    // whose search region follows its own prediction of the target's motion.
    cv::Rect nextSearchWindow(const cv::Size& frame) const;

    // The correlation tracker's parameters; the defaults when the learned tracker was chosen.
    const wyr::zok::TrackerCorr::Params& corrParams() const { return corrParams_; }

    // The correlation tracker's search scores, or the learned tracker's confidence.
    std::vector<double> scores() const;

private:
    TrackerKind kind_;
    wyr::zok::TrackerCorr::Params corrParams_;
    wyr::zok::TrackerDcf::Params dcfParams_;
    cv::Ptr<wyr::zok::TrackerCorr> corr_;
    cv::Ptr<wyr::zok::TrackerDcf> dcf_;
};

} // namespace zok_track
