#pragma once

#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>

#include "zok/export.hpp"

namespace wyr::zok {

/// A single-target tracker that learns a discriminative correlation filter of the target and
/// its surroundings online, on gradient (fHOG), grey and colour features, with its own estimate
/// of the target's scale, a confidence measure judged against its own recent history, and a
/// re-detection search while the target is lost.
///
/// Use: create() it, init() it with the first frame and the target's box, then call update()
/// once per frame with frames of the first frame's size and type. update() returns false while
/// the target is judged lost; the box it leaves is then the last box found. confidence() tells
/// how sure the last update was.
///
/// Cost: the features are computed on a grid of bounded size, so the time of an update does not
/// grow with the target's size in pixels. After the first frame of a size, updates make no heap
/// allocations. Trackers share no mutable state, so each thread may run trackers of its own; one
/// tracker is used by one thread at a time. Needs a build with FFTW (-DZOK_WITH_FFTW=ON, the
/// default): create() raises cv::Exception (StsNotImplemented) otherwise.
class TrackerDcf : public cv::Tracker {
public:
    /// The tracker's parameters: a plain value, copied by create(), which never refuses a
    /// value; the tracker clamps each one as documented when it is constructed.
    struct Params {
        ZOK_EXPORT Params();
    };

    ~TrackerDcf() override = default;

    /// Learns the first model from the region `boundingBox` of `image`. The frame must be
    /// 8-bit or float with 1, 3 or 4 channels (BGR(A) order), and the box must lie wholly inside
    /// it and be at least a few pixels on each side. Raises cv::Exception otherwise, and leaves
    /// the tracker exactly as it was. A later init() starts afresh on the new box.
    void init(cv::InputArray image, const cv::Rect& boundingBox) override = 0;

    /// Finds the target in a new frame, which must have the size and type of the frame given to
    /// init() (cv::Exception otherwise, with the tracker unchanged). The incoming value of
    /// `boundingBox` is never read. Returns true and writes the new box when the target is
    /// found; returns false and writes the last box found when it is judged lost.
    bool update(cv::InputArray image, cv::Rect& boundingBox) override = 0;

    /// The confidence of the last update(): 1.0 after init(), then the strength of the
    /// response peak relative to its own recent history. 0 means no peak at all; values near
    /// 1 or above mean a peak as strong as the target's usual ones.
    virtual double confidence() const = 0;

    /// Constructs a tracker from `params`.
    ZOK_EXPORT static cv::Ptr<TrackerDcf> create(const Params& params = Params());
};

} // namespace wyr::zok
