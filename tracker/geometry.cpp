#include "tracker/geometry.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

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

cv::Rect boxAtOffset(const cv::Point& offset, int halfWidth, int halfHeight,
                     const cv::Size& image) {
    const cv::Point centre = imageCentre(image);
    const int64_t x = int64_t(centre.x) + offset.x - halfWidth;
    const int64_t y = int64_t(centre.y) + offset.y - halfHeight;
    const int64_t width = 2 * int64_t(halfWidth) + 1;
    const int64_t height = 2 * int64_t(halfHeight) + 1;
    // No image is that large, so such a box is a mistake; wrapped to int it could even pass a
    // tracker's own test of lying inside the image, whose sum x + width would overflow too.
    const auto fits = [](int64_t v) {
        return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
    };
    if (!fits(x) || !fits(y) || !fits(width) || !fits(height) || !fits(x + width) ||
        !fits(y + height)) {
        CV_Error(cv::Error::StsOutOfRange, "the box around the centre offset does not fit in int");
    }
    return {int(x), int(y), int(width), int(height)};
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
