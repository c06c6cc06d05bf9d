#include "zok/tracker_corr.hpp"

#include "tracker/tracker_corr_impl.hpp"

namespace wyr::zok {

TrackerCorr::Params::VarianceFilter::VarianceFilter()
    : threshold(0.0), kSize(3), greyscale(false) {}

TrackerCorr::Params::Params()
    : searchRadiusFactor(4.0f), threshold(0.85), sigmaExp(5.0f), cloneImage(true), depth(1),
      zoomFactor(1), mode1D(false), engine(Engine::OPENCV), zeroMean(false), updateThreshold(0.0) {
    varianceFilter.threshold = 0.0;
    varianceFilter.kSize = 3;
    varianceFilter.greyscale = false;
}

cv::Ptr<TrackerCorr> TrackerCorr::create(const Params& params) {
    return cv::makePtr<TrackerCorrImpl>(params);
}

} // namespace wyr::zok
