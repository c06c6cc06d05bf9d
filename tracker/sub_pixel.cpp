#include "tracker/sub_pixel.hpp"

#include <opencv2/imgproc.hpp>

#include "geometry/geometry.hpp"

namespace wyr::zok {

namespace {
constexpr int kNeighbourhood = 5;
constexpr int kReach = kNeighbourhood / 2;
} // namespace

RefinedPeak refineSubPixel(const cv::Mat& response, const cv::Point& peak, int zoomFactor) {
    if (peak.x - kReach < 0 || peak.y - kReach < 0 || peak.x + kReach + 1 > response.cols ||
        peak.y + kReach + 1 > response.rows) {
        return {};
    }
    const int n = (kNeighbourhood - 1) * zoomFactor + 1;
    cv::Mat enlarged;
    cv::resize(response(cv::Rect(peak.x - kReach, peak.y - kReach, kNeighbourhood, kNeighbourhood)),
               enlarged, cv::Size(n, n), 0, 0, cv::INTER_CUBIC);
    // Enlarged pixels count as 1/zoomFactor of a response pixel; look within one response pixel
    // of the centre, which corresponds to the peak.
    const int d = zoomFactor - 1;
    const cv::Mat centre = enlarged(cv::Rect(halve(n) - d, halve(n) - d, 2 * d + 1, 2 * d + 1));
    RefinedPeak refined;
    refined.refined = true;
    cv::Point location;
    cv::minMaxLoc(centre, nullptr, &refined.value, nullptr, &location);
    refined.offset = {location.x - d, location.y - d};
    return refined;
}

void carrySubPixel(int& remainder, int& pixel, int zoomFactor) {
    const int half = zoomFactor / 2;
    while (remainder > half) {
        remainder -= zoomFactor;
        ++pixel;
    }
    while (remainder < -half) {
        remainder += zoomFactor;
        --pixel;
    }
}

} // namespace wyr::zok
