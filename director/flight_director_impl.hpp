#pragma once

#include "zok/flight_director.hpp"

namespace wyr::zok {

class FlightDirectorImpl final : public FlightDirector {
public:
    FlightDirectorImpl(cv::Ptr<cv::Tracker> tracker, TrackerType trackerType);

    void init(cv::InputArray image, const cv::Rect& boundingBox) override;
    void initAtOffset(cv::InputArray image, const cv::Point& offset, int halfWidth,
                      int halfHeight) override;
    bool update(cv::InputArray image, cv::Rect& boundingBox) override;
    bool updateOffset(cv::InputArray image, cv::Point& offset) override;
    double matchScore(size_t index) override;

    const cv::Ptr<cv::Tracker> tracker;
    const TrackerType trackerType;
};

} // namespace wyr::zok
