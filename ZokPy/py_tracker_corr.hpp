#pragma once

// The correlation tracker as the Python module offers it. The module's generated wrapper reads
// this header, and shows the class's name and constructor in its messages and type names, so
// the class lives in the global namespace.
#include <Python.h>

#include <cstddef>
#include <limits>

#include <opencv2/core.hpp>

#include "zok/tracker_corr.hpp"

// Owns one TrackerCorr, built from up to eleven positional constructor arguments. Every float
// argument passes through single precision, so threshold 0.85 reaches the tracker as
// 0.8500000238418579. All methods are called with the GIL held.
class PyTrackerCorr {
public:
    // altSearchRadiusFactor enters the tracker's list of wider factors only when it is strictly
    // greater than searchRadiusFactor (compared before the tracker clamps anything). Unlike the
    // native Params, cloneImage defaults to false: templates are views onto the caller's arrays.
    PyTrackerCorr(float searchRadiusFactor = 4.0f, float threshold = 0.85f,
                  float altSearchRadiusFactor = 0.0f, float sigmaExp = 5.0f,
                  bool cloneImage = false, size_t depth = 1, int zoomFactor = 1,
                  bool mode1D = false, float varianceThreshold = 0.0f, int varianceKSize = 3,
                  bool varianceGreyscale = false);
    ~PyTrackerCorr();

    // Converts the image (a numpy array, None, a number or a tuple of numbers) and the box (any
    // sequence of four ints x, y, width, height, or None for all zeros) and starts the track.
    // When either cannot be converted, returns false with a Python exception set and leaves the
    // tracker alone. OpenCV's errors (a box outside the image, say) pass through as cv::Exception.
    bool init(PyObject* image, PyObject* boundingBox);

    // Converts as init does and searches the frame. Returns a new reference to
    // (found, (x, y, width, height)): the new box when found, else the box passed in. Returns
    // null with a Python exception set, without calling the tracker, when a conversion fails.
    PyObject* update(PyObject* image, PyObject* boundingBox);

    // The tracker's last recorded variance, in single precision.
    float variance() const;

    // A new float64 array of the last update's search scores, or a new empty tuple when there
    // are none. Null with a MemoryError set when the array cannot be made.
    PyObject* matches() const;

    // The parameters the positional constructor cannot carry: the correlation engine (0 for
    // TrackerCorr::Engine::OPENCV, 1 for FFT, 2 for AUTO), zeroMean, updateThreshold and
    // redetectThreshold (both used unchanged, not rounded to single precision; NaN, the default
    // of the last, means the level of threshold). Rebuilds the tracker from the constructor's
    // parameters with these, so it must come before the first init: afterwards it raises
    // std::logic_error. Any other engine number raises std::invalid_argument; an engine this
    // build does not have raises cv::Exception (StsNotImplemented). On every failure the tracker
    // is left as it was.
    void setOptions(int engine, bool zeroMean, double updateThreshold,
                    double redetectThreshold = std::numeric_limits<double>::quiet_NaN());

private:
    // Converts both arguments, stopping at the first failure.
    static bool convertArguments(PyObject* image, PyObject* boundingBox, cv::Mat& frame,
                                 cv::Rect& box);

    wyr::zok::TrackerCorr::Params params;
    cv::Ptr<wyr::zok::TrackerCorr> tracker;
    // Set by the first init(), even one that is refused: setOptions is refused from then on.
    bool started = false;
};
