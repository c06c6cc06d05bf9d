// The extension module zok._zok_dcf: the class zok.TrackerDcf over the learned tracker.
#define ZOK_NUMPY_IMPORT
#include "ZokPy/numpy_api.hpp"

#include <new>
#include <stdexcept>
#include <tuple>

#include <pybind11/pybind11.h>

#include "ZokPy/dcf_keywords.hpp"
#include "ZokPy/py_tracker_dcf.hpp"

namespace py = pybind11;
using wyr::zok::PyTrackerDcf;

namespace {

// Every C++ exception becomes a Python one, whatever pybind11's own defaults would make of it:
// OpenCV's refusals and anything unforeseen a RuntimeError, exhausted memory a MemoryError.
void translate(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const py::error_already_set&) {
        throw;
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const cv::Exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (const std::bad_alloc& e) {
        PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    }
}

const char* const kClassDoc =
    R"(A tracker that learns a correlation filter of the target and its surroundings.

TrackerDcf(**params): keyword arguments named as the fields of the native
TrackerDcf::Params, each optional; see the type stub and docs/parameters.md.

    tracker = zok.TrackerDcf()
    tracker.init(first_frame, (x, y, w, h))
    found, box = tracker.update(frame)
    tracker.confidence

Frames are numpy arrays (H x W or H x W x C, 8-bit or float), used without a copy
when their layout allows. The native work runs with the GIL released: threads
with a tracker each run side by side; threads sharing one take turns.)";

} // namespace

PYBIND11_MODULE(_zok_dcf, module) {
    if (_import_array() < 0) {
        throw py::error_already_set();
    }
    // Local: the translator must not reach into other pybind11 modules of the process.
    py::register_local_exception_translator(translate);

    py::class_<PyTrackerDcf>(module, "TrackerDcf", kClassDoc)
        .def(py::init([](const py::args& args, const py::kwargs& kwargs) {
                 if (!args.empty()) {
                     throw py::type_error("TrackerDcf() takes keyword arguments only, got " +
                                          std::to_string(args.size()) + " positional");
                 }
                 return new PyTrackerDcf(wyr::zok::paramsFromKeywords(kwargs.ptr()));
             }),
             "TrackerDcf(**params): keyword arguments named as the Params fields.")
        .def(
            "init",
            [](PyTrackerDcf& self, const py::object& frame, const py::object& box) {
                self.init(frame.ptr(), box.ptr());
            },
            py::arg("frame"), py::arg("box"),
            "Learns the first model from `box` (x, y, width, height) of `frame`. RuntimeError "
            "for a box outside the frame or too small, TypeError for arguments that cannot be "
            "converted (None for the frame, the box or an item of it included); the tracker is "
            "then unchanged.")
        .def(
            "update",
            [](PyTrackerDcf& self, const py::object& frame) {
                const auto [found, box] = self.update(frame.ptr());
                return std::make_tuple(found, std::make_tuple(box.x, box.y, box.width, box.height));
            },
            py::arg("frame"),
            "Finds the target in a frame of the first frame's size and type: (found, (x, y, "
            "width, height)), the last box found when it is judged lost. TypeError for a frame "
            "that cannot be converted (None included).")
        .def_property_readonly("confidence", &PyTrackerDcf::confidence,
                               "The confidence of the last init (1.0) or update: the response "
                               "peak's strength relative to its recent history, 0 for none.");
    module.attr("TrackerDcf").attr("__module__") = "zok";
}
