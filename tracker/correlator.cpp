#include "tracker/correlator.hpp"

#include "tracker/correlate.hpp"

namespace wyr::zok {

std::unique_ptr<Correlator> Correlator::create(TrackerCorr::Engine engine, int method) {
    switch (engine) {
    case TrackerCorr::Engine::OPENCV:
        return makeOpenCvCorrelator(method);
    case TrackerCorr::Engine::FFT:
        break;
    }
    CV_Error(cv::Error::StsNotImplemented,
             "the FFT correlation engine is not built in yet; use Engine::OPENCV");
}

} // namespace wyr::zok
