#pragma once

// The learned tracker as the Python class zok.TrackerDcf offers it.
#include <Python.h>

#include <mutex>
#include <utility>

#include <opencv2/core.hpp>

#include "zok/tracker_dcf.hpp"

namespace wyr::zok {

// Owns one TrackerDcf. Every method is called with the GIL held. The arguments are converted
// under the GIL (frames as headers over the arrays' own memory, as _zok converts them); the
// native work then runs with the GIL released, under the object's own lock, so that threads
// with a tracker each run side by side and threads sharing one take turns. The lock is only
// ever waited for with the GIL released: a thread holding it may need the GIL to release an
// array, and must never wait for a thread that holds the GIL while waiting for the lock.
class PyTrackerDcf {
public:
    explicit PyTrackerDcf(const TrackerDcf::Params& params);

    // Starts the track on `box` (any sequence of four ints x, y, width, height) of `frame` (a
    // numpy array). Raises pybind11::error_already_set with a TypeError when either cannot be
    // converted (None, for the frame, the box or an item of it, included), and lets the
    // tracker's cv::Exception pass.
    void init(PyObject* frame, PyObject* box);

    // Searches `frame`: (found, box), the box the tracker wrote. A frame that cannot be
    // converted (None included) raises as init does.
    std::pair<bool, cv::Rect> update(PyObject* frame);

    // The tracker's confidence of its last init or update.
    double confidence();

private:
    std::mutex mutex_;
    cv::Ptr<TrackerDcf> tracker_;
};

} // namespace wyr::zok
