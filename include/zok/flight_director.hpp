#pragma once

#include <cstddef>

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "zok/export.hpp"

namespace wyr::zok {

/// Drives any cv::Tracker in terms of the offset of the target's centre from the image centre
/// instead of boxes.
///
/// A centre offset is a cv::Point in pixels, x to the right and y downwards, from the image's
/// centre pixel (column cols / 2, row rows / 2, rounded down) to the box's centre pixel
/// (x + width / 2, y + height / 2, rounded down). The director adds no tracking of its own:
/// every image goes unchanged to the wrapped tracker, every failure and every exception of the
/// tracker reaches the caller as the tracker gave it, and the order of calls is not checked.
/// Like the tracker it wraps, a director is used by one thread at a time.
class FlightDirector {
public:
    /// What the caller states the wrapped tracker to be. Any value other than TRACKER_CORR,
    /// named or not, means a tracker of another kind.
    enum TrackerType : int {
        /// The tracker is a TrackerCorr: matchScore() hands out its search scores.
        TRACKER_CORR = 0,
        /// Any other cv::Tracker, such as TrackerDcf or OpenCV's own.
        TRACKER_OTHER = 1,
    };

    virtual ~FlightDirector() = default;

    /// Passes straight through to the tracker's init(image, boundingBox).
    virtual void init(cv::InputArray image, const cv::Rect& boundingBox) = 0;

    /// Starts the tracker on the box of (2 * halfWidth + 1) x (2 * halfHeight + 1) pixels whose
    /// centre pixel lies `offset` away from the image centre. Half-sizes are not checked: a
    /// negative one gives a box narrower than one pixel, and the tracker's init decides.
    /// Raises cv::Exception (StsOutOfRange), without calling the tracker, when a coordinate or
    /// a far edge of that box would not fit in an int.
    virtual void initAtOffset(cv::InputArray image, const cv::Point& offset, int halfWidth,
                              int halfHeight) = 0;

    /// Passes straight through to the tracker's update(image, boundingBox).
    virtual bool update(cv::InputArray image, cv::Rect& boundingBox) = 0;

    /// Runs the tracker's update and, when it succeeds, writes the centre offset of the box it
    /// found into `offset`. Returns the tracker's result; on false `offset` is left untouched.
    /// Raises cv::Exception (StsOutOfRange), with `offset` untouched, when the found box's
    /// centre offset would not fit in an int (a tracker of another kind may answer any box).
    /// A box from initAtOffset(p, ...) returned unchanged gives p back.
    virtual bool updateOffset(cv::InputArray image, cv::Point& offset) = 0;

    /// For a TRACKER_CORR director: entry `index` of the tracker's matches() (the scores of the
    /// searches of its last update, in the order made), or 0.0 when `index` is past the end.
    /// Always 0.0 for any other type, and for a TRACKER_CORR director whose tracker is not in
    /// fact a TrackerCorr.
    virtual double matchScore(size_t index) = 0;

    /// A director sharing ownership of `tracker`, which must not be empty (cv::Exception with
    /// StsNullPtr otherwise). `trackerType` is taken as the caller states it.
    ZOK_EXPORT static cv::Ptr<FlightDirector> create(cv::Ptr<cv::Tracker> tracker,
                                                     TrackerType trackerType);
};

} // namespace wyr::zok
