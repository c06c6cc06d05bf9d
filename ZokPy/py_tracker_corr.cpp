#include "ZokPy/py_tracker_corr.hpp"

#include <stdexcept>
#include <string>

#include "ZokPy/cv2_numpy.hpp"
#include "ZokPy/cv2_util.hpp"

using wyr::zok::TrackerCorr;

PyTrackerCorr::PyTrackerCorr(float searchRadiusFactor, float threshold, float altSearchRadiusFactor,
                             float sigmaExp, bool cloneImage, size_t depth, int zoomFactor,
                             bool mode1D, float varianceThreshold, int varianceKSize,
                             bool varianceGreyscale) {
    params.searchRadiusFactor = searchRadiusFactor;
    params.threshold = threshold;
    if (altSearchRadiusFactor > searchRadiusFactor) {
        params.altSearchRadiiFactors = {altSearchRadiusFactor};
    }
    params.sigmaExp = sigmaExp;
    params.cloneImage = cloneImage;
    params.depth = depth;
    params.zoomFactor = zoomFactor;
    params.mode1D = mode1D;
    params.varianceFilter.threshold = varianceThreshold;
    params.varianceFilter.kSize = varianceKSize;
    params.varianceFilter.greyscale = varianceGreyscale;
    tracker = TrackerCorr::create(params);
}

PyTrackerCorr::~PyTrackerCorr() = default;

bool PyTrackerCorr::convertArguments(PyObject* image, PyObject* boundingBox, cv::Mat& frame,
                                     cv::Rect& box) {
    return wyr::zok::convert_to_mat(image, frame, wyr::zok::ArgDesc{"image"}) &&
           wyr::zok::convert_to_rect(boundingBox, box, wyr::zok::ArgDesc{"boundingBox"});
}

// Python code runs inside every method: a box's __getitem__, the release of an array, a garbage
// collection while numpy allocates. Any of it may delete this object (deleting the wrapper, or
// dropping its last owner), so each method first takes its own share of the tracker and never
// touches a member again; a deleted object's tracker lives on until the call returns.

bool PyTrackerCorr::init(PyObject* image, PyObject* boundingBox) {
    const cv::Ptr<TrackerCorr> held = tracker;
    // Set while this object is surely alive, and before Python code could call setOptions and
    // replace the tracker under this call.
    started = true;
    cv::Mat frame;
    cv::Rect box(0, 0, 0, 0);
    if (!convertArguments(image, boundingBox, frame, box)) {
        return false;
    }
    held->init(frame, box);
    return true;
}

PyObject* PyTrackerCorr::update(PyObject* image, PyObject* boundingBox) {
    const cv::Ptr<TrackerCorr> held = tracker;
    cv::Mat frame;
    cv::Rect box(0, 0, 0, 0);
    if (!convertArguments(image, boundingBox, frame, box)) {
        return nullptr;
    }
    const bool found = held->update(frame, box);
    return Py_BuildValue("(O(iiii))", found ? Py_True : Py_False, box.x, box.y, box.width,
                         box.height);
}

float PyTrackerCorr::variance() const {
    return static_cast<float>(tracker->variance());
}

PyObject* PyTrackerCorr::matches() const {
    const cv::Ptr<TrackerCorr> held = tracker;
    return wyr::zok::convert_from_vector(held->matches());
}

void PyTrackerCorr::setOptions(int engine, bool zeroMean, double updateThreshold,
                               double redetectThreshold) {
    if (started) {
        throw std::logic_error("setOptions must be called before the first init");
    }
    TrackerCorr::Params changed = params;
    switch (engine) {
    case int(TrackerCorr::Engine::OPENCV):
        changed.engine = TrackerCorr::Engine::OPENCV;
        break;
    case int(TrackerCorr::Engine::FFT):
        changed.engine = TrackerCorr::Engine::FFT;
        break;
    case int(TrackerCorr::Engine::AUTO):
        changed.engine = TrackerCorr::Engine::AUTO;
        break;
    default:
        throw std::invalid_argument("engine must be 0 (OpenCV), 1 (FFT) or 2 (auto), not " +
                                    std::to_string(engine));
    }
    changed.zeroMean = zeroMean;
    changed.updateThreshold = updateThreshold;
    changed.redetectThreshold = redetectThreshold;
    // Built before anything is replaced, so that a refused engine changes nothing.
    cv::Ptr<TrackerCorr> rebuilt = TrackerCorr::create(changed);
    params = changed;
    tracker = rebuilt;
}
