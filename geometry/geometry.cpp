#include "geometry/geometry.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace wyr::zok {

int searchRadius(int length, float factor, int limit) {
    const float radius = float(length) * factor;
    if (!(radius < float(limit))) {
        return limit;
    }
    return int(radius);
}

namespace {

bool fitsInt(int64_t v) {
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

// One axis of a search window: its start and length. In 64 bits, since a radius may reach the
// image's length, which may be close to int's limit.
std::pair<int, int> windowSpan(int length, float factor, int centre, int image) {
    const int64_t radius = searchRadius(length, factor, image);
    const int64_t size = std::min(2 * radius + 1, int64_t(image));
    int64_t start = int64_t(centre) - radius;
    if (start + size > image) {
        start = image - size;
    }
    return {int(std::max<int64_t>(start, 0)), int(size)};
}

} // namespace

cv::Rect searchWindow(const cv::Size& templ, float factor, const cv::Point& centre,
                      const cv::Size& image) {
    const auto [x, width] = windowSpan(templ.width, factor, centre.x, image.width);
    const auto [y, height] = windowSpan(templ.height, factor, centre.y, image.height);
    return {x, y, width, height};
}

cv::Point centreOffset(const cv::Rect& box, const cv::Size& image) {
    const cv::Point centre = imageCentre(image);
    const int64_t x = int64_t(box.x) + halve(box.width) - centre.x;
    const int64_t y = int64_t(box.y) + halve(box.height) - centre.y;
    if (!fitsInt(x) || !fitsInt(y)) {
        CV_Error(cv::Error::StsOutOfRange, "the box's centre offset does not fit in int");
    }
    return {int(x), int(y)};
}

bool liesInside(const cv::Rect& box, const cv::Size& image) {
    return box.x >= 0 && box.y >= 0 && box.width >= 0 && box.height >= 0 &&
           int64_t(box.x) + box.width <= image.width && int64_t(box.y) + box.height <= image.height;
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
    if (!fitsInt(x) || !fitsInt(y) || !fitsInt(width) || !fitsInt(height) || !fitsInt(x + width) ||
        !fitsInt(y + height)) {
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
