#include "zok/tracker_corr.hpp"

#include <limits>

#include "tracker/tracker_corr_impl.hpp"

namespace wyr::zok {

TrackerCorr::Params::VarianceFilter::VarianceFilter()
    : threshold(0.0), kSize(3), greyscale(false) {}

TrackerCorr::Params::Params()
    : searchRadiusFactor(4.0f), threshold(0.85), sigmaExp(5.0f), cloneImage(true), depth(1),
      zoomFactor(1), mode1D(false), engine(Engine::OPENCV), zeroMean(false), updateThreshold(0.0),
      redetectThreshold(std::numeric_limits<double>::quiet_NaN()) {
    varianceFilter.threshold = 0.0;
    varianceFilter.kSize = 3;
    varianceFilter.greyscale = false;
}

TrackerCorr::Engine TrackerCorr::engineRun(Engine engine) {
    if (engine != Engine::AUTO) {
        return engine;
    }
    return ZOK_WITH_FFTW ? Engine::FFT : Engine::OPENCV;
}

cv::Ptr<TrackerCorr> TrackerCorr::create(const Params& params) {
    return cv::makePtr<TrackerCorrImpl>(params);
}

} // namespace wyr::zok
