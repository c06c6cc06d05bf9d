#include "tracker/geometry.hpp"

#include <algorithm>

namespace wyr::zok {

int searchRadius(int length, float factor, int limit) {
    const float radius = float(length) * factor;
    if (!(radius < float(limit))) {
        return limit;
    }
    return int(radius);
}

cv::Rect searchWindow(const cv::Size& templ, float factor, const cv::Point& centre,
                      const cv::Size& image) {
    const int rx = searchRadius(templ.width, factor, image.width);
    const int ry = searchRadius(templ.height, factor, image.height);
    cv::Rect window(centre.x - rx, centre.y - ry, std::min(2 * rx + 1, image.width),
                    std::min(2 * ry + 1, image.height));
    if (window.x + window.width > image.width) {
        window.x = image.width - window.width;
    }
    if (window.y + window.height > image.height) {
        window.y = image.height - window.height;
    }
    window.x = std::max(window.x, 0);
    window.y = std::max(window.y, 0);
    return window;
}

cv::Rect shiftInside(cv::Rect box, const cv::Size& image) {
    box.x = std::max(box.x, 0);
    box.y = std::max(box.y, 0);
    if (box.x + box.width > image.width) {
        box.x = image.width - box.width;
    }
    if (box.y + box.height > image.height) {
        box.y = image.height - box.height;
    }
    return box;
}

} // namespace wyr::zok
