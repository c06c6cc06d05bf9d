#include "zok/tracker_dcf.hpp"

#if ZOK_WITH_FFTW
#include "dcf/tracker_dcf_impl.hpp"
#endif

namespace wyr::zok {

TrackerDcf::Params::Params()
    : padding(4.0f), gridCells(48), labelSigma(0.0625f), learningRate(0.02f), admmIterations(1),
      colour(true), colourWeight(0.3f), colourLearningRate(0.04f), scaleFilter(true), scales(17),
      scaleStep(1.02f), scaleLearningRate(0.025f), motionPrediction(true), motionDamping(0.8f),
      redetection(true), lostConfidence(0.2f), learnConfidence(0.3f), redetectConfidence(0.4f),
      redetectFrames(2), cameraMotion(false), minSharpness(20.0f), stillPreference(0.5f),
      aspectFilter(false), aspects(9), aspectStep(1.04f), aspectLimit(3.0f), aspectRate(0.5f),
      colourFeatures(true), maxResponseVariation(0.0f), motionSupport(false) {}

cv::Ptr<TrackerDcf> TrackerDcf::create(const Params& params) {
#if ZOK_WITH_FFTW
    return cv::makePtr<TrackerDcfImpl>(params);
#else
    (void)params;
    CV_Error(cv::Error::StsNotImplemented,
             "TrackerDcf needs FFTW: this build was configured with -DZOK_WITH_FFTW=OFF");
#endif
}

} // namespace wyr::zok
