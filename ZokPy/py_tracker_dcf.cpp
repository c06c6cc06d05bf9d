#include "ZokPy/py_tracker_dcf.hpp"

#include <pybind11/pybind11.h>

#include "ZokPy/cv2_numpy.hpp"
#include "ZokPy/cv2_util.hpp"

namespace wyr::zok {

namespace {

namespace py = pybind11;

cv::Mat convertFrame(PyObject* frame) {
    // convert_to_mat takes None for "no matrix", which would reach the tracker as an empty frame.
    if (frame == Py_None) {
        report_failmsg("Can't parse 'frame'. Expected a numpy array, got None");
        throw py::error_already_set();
    }
    cv::Mat image;
    if (!convert_to_mat(frame, image, ArgDesc{"frame"})) {
        throw py::error_already_set();
    }
    return image;
}

} // namespace

PyTrackerDcf::PyTrackerDcf(const TrackerDcf::Params& params)
    : tracker_(TrackerDcf::create(params)) {}

void PyTrackerDcf::init(PyObject* frame, PyObject* box) {
    cv::Rect rect;
    // Converted before the frame: the frame's header would keep its array for nothing.
    if (!convert_to_box(box, rect, ArgDesc{"box"})) {
        throw py::error_already_set();
    }
    // Declared outside the released region, so that the header lets go of its array under the
    // GIL; a copy the tracker keeps takes the GIL itself when it lets go.
    const cv::Mat image = convertFrame(frame);
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> lock(mutex_);
    tracker_->init(image, rect);
}

std::pair<bool, cv::Rect> PyTrackerDcf::update(PyObject* frame) {
    const cv::Mat image = convertFrame(frame);
    cv::Rect box;
    bool found = false;
    {
        py::gil_scoped_release release;
        const std::lock_guard<std::mutex> lock(mutex_);
        found = tracker_->update(image, box);
    }
    return {found, box};
}

double PyTrackerDcf::confidence() {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> lock(mutex_);
    return tracker_->confidence();
}

} // namespace wyr::zok
