#include "director/flight_director_impl.hpp"

#include <utility>

#include "geometry/geometry.hpp"
#include "zok/tracker_corr.hpp"

namespace wyr::zok {

FlightDirectorImpl::FlightDirectorImpl(cv::Ptr<cv::Tracker> tracker, TrackerType trackerType)
    : tracker(std::move(tracker)), trackerType(trackerType) {}

void FlightDirectorImpl::init(cv::InputArray image, const cv::Rect& boundingBox) {
    tracker->init(image, boundingBox);
}

void FlightDirectorImpl::initAtOffset(cv::InputArray image, const cv::Point& offset, int halfWidth,
                                      int halfHeight) {
    const cv::Rect box = boxAtOffset(offset, halfWidth, halfHeight, image.getMat().size());
    tracker->init(image, box);
}

bool FlightDirectorImpl::update(cv::InputArray image, cv::Rect& boundingBox) {
    return tracker->update(image, boundingBox);
}

bool FlightDirectorImpl::updateOffset(cv::InputArray image, cv::Point& offset) {
    cv::Rect box(0, 0, 0, 0);
    if (!tracker->update(image, box)) {
        return false;
    }
    // Raises, leaving `offset` alone, for a box whose centre lies beyond int's reach.
    offset = centreOffset(box, image.getMat().size());
    return true;
}

double FlightDirectorImpl::matchScore(size_t index) {
    if (trackerType != TRACKER_CORR) {
        return 0.0;
    }
    // The type is only the caller's word: a tracker of another kind must never be read as a
    // TrackerCorr.
    auto* corr = dynamic_cast<TrackerCorr*>(tracker.get());
    if (corr == nullptr) {
        return 0.0;
    }
    const std::vector<double>& scores = corr->matches();
    return index < scores.size() ? scores[index] : 0.0;
}

} // namespace wyr::zok
