// A program outside the project that uses every exported entry point of an installed zok.
#include <cstdio>

#include <opencv2/imgproc.hpp>
#include <zok/flight_director.hpp>
#include <zok/tracker_corr.hpp>
#include <zok/zok_config.hpp>

int main(int argc, char** argv) {
    using namespace wyr::zok;
    cv::Mat frame(240, 320, CV_8UC1);
    cv::randu(frame, 0, 255);
    cv::GaussianBlur(frame, frame, cv::Size(0, 0), 1.5);
    cv::Mat moved;
    cv::warpAffine(frame, moved, cv::Matx23d(1, 0, 3, 0, 1, 2), frame.size());

    ZokConfig config;
    if (argc > 1 && !config.LoadFromJson(argv[1])) {
        return 2;
    }
    cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(config.trackerCorr);
    cv::Ptr<FlightDirector> director =
        FlightDirector::create(tracker, FlightDirector::TRACKER_CORR);
    director->initAtOffset(frame, cv::Point(-20, -10), 20, 15);
    cv::Point offset;
    const bool found = director->updateOffset(moved, offset);
    std::printf("found %d, offset (%d, %d), score %.4f\n", int(found), offset.x, offset.y,
                director->matchScore(0));
    return found && offset == cv::Point(-17, -8) ? 0 : 1;
}
