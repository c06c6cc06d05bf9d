#include "chosen_tracker.hpp"

#include "track_drawing.hpp"

namespace zok_track {

using wyr::zok::FlightDirector;
using wyr::zok::TrackerCorr;
using wyr::zok::TrackerDcf;

const char* trackerName(TrackerKind kind) {
    return kind == TrackerKind::Dcf ? "dcf" : "corr";
}

ChosenTracker::ChosenTracker(TrackerKind kind, const TrackerCorr::Params& corrParams,
                             const TrackerDcf::Params& dcfParams)
    : kind_(kind), corrParams_(corrParams), dcfParams_(dcfParams) {}

cv::Ptr<FlightDirector> ChosenTracker::createDirector() {
    corr_.release();
    dcf_.release();
    if (kind_ == TrackerKind::Dcf) {
        dcf_ = TrackerDcf::create(dcfParams_);
        return FlightDirector::create(dcf_, FlightDirector::TRACKER_OTHER);
    }
    corr_ = TrackerCorr::create(corrParams_);
    return FlightDirector::create(corr_, FlightDirector::TRACKER_CORR);
}

cv::Rect ChosenTracker::nextSearchWindow(const cv::Size& frame) const {
    return corr_ ? zok_track::nextSearchWindow(*corr_, frame) : cv::Rect();
}

std::vector<double> ChosenTracker::scores() const {
    if (corr_) {
        return corr_->matches();
    }
    return dcf_ ? std::vector<double>{dcf_->confidence()} : std::vector<double>{};
}

} // namespace zok_track
