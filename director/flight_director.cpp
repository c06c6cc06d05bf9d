#include "zok/flight_director.hpp"

#include <utility>

#include "director/flight_director_impl.hpp"

namespace wyr::zok {

cv::Ptr<FlightDirector> FlightDirector::create(cv::Ptr<cv::Tracker> tracker,
                                               TrackerType trackerType) {
    // Refused here rather than at the first call, where the cause would be far away.
    if (!tracker) {
        CV_Error(cv::Error::StsNullPtr, "FlightDirector needs a tracker to wrap");
    }
    return cv::makePtr<FlightDirectorImpl>(std::move(tracker), trackerType);
}

} // namespace wyr::zok
