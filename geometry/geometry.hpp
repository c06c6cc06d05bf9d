#pragma once

#include <opencv2/core.hpp>

namespace wyr::zok {

// Halving by an arithmetic shift: rounds towards minus infinity, so the centre pixel of an even
// length is the right-hand (or lower) of its two middle pixels, and -3 halves to -2.
inline int halve(int v) {
    return v >> 1;
}

inline cv::Point imageCentre(const cv::Size& image) {
    return {halve(image.width), halve(image.height)};
}

inline cv::Point boxCentre(const cv::Rect& box) {
    return {box.x + halve(box.width), box.y + halve(box.height)};
}

// Offset of the box's centre pixel from the image's centre pixel. Computed in 64 bits, since a
// box from any tracker may lie anywhere; raises StsOutOfRange when the offset does not fit in int.
cv::Point centreOffset(const cv::Rect& box, const cv::Size& image);

// Whether the box lies wholly inside an image of `image` size (an empty box at a corner does),
// with its far edges computed without overflow. OpenCV's own test adds x + width in int, so a
// far edge beyond int wraps round and passes it.
bool liesInside(const cv::Rect& box, const cv::Size& image);

// The box of (2 * halfWidth + 1) x (2 * halfHeight + 1) pixels whose centre pixel lies `offset`
// from the image's centre pixel; centreOffset gives `offset` back, since 2h + 1 halves to h.
// Raises StsOutOfRange when a coordinate or a far edge (x + width, y + height) leaves int.
cv::Rect boxAtOffset(const cv::Point& offset, int halfWidth, int halfHeight, const cv::Size& image);

// Radius of a search window: int(float(length) * factor), truncated towards zero. Radii at or
// beyond `limit` all give the same window (the whole frame along that axis), so the product is
// saturated there instead of overflowing the conversion for huge or infinite factors.
int searchRadius(int length, float factor, int limit);

// The window of a search for a template of `templ` size with factor `factor` around `centre`
// (image coordinates): (2r + 1) on each axis, cut to the frame, shifted inside the right and
// bottom edges first and then inside the left and top edges.
cv::Rect searchWindow(const cv::Size& templ, float factor, const cv::Point& centre,
                      const cv::Size& image);

// Moves a box inside the image, left and top edges first, then right and bottom; the size is
// kept, so a box larger than the image ends up with a negative corner.
cv::Rect shiftInside(cv::Rect box, const cv::Size& image);

} // namespace wyr::zok
