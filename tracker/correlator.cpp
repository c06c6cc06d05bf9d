#include "tracker/correlator.hpp"

#include "tracker/engines/opencv_correlator.hpp"
#if ZOK_WITH_FFTW
#include "fft/fft_grid.hpp"
#include "tracker/engines/fft_correlator.hpp"
#endif

namespace wyr::zok {

std::unique_ptr<Correlator> Correlator::create(TrackerCorr::Engine engine, int method) {
    switch (TrackerCorr::engineRun(engine)) {
    case TrackerCorr::Engine::OPENCV:
        return makeOpenCvCorrelator(method);
    case TrackerCorr::Engine::FFT:
#if ZOK_WITH_FFTW
        return makeFftCorrelator(method, DEFAULT_PLAN_FLAGS);
#else
        CV_Error(cv::Error::StsNotImplemented,
                 "this build of zok has no FFT correlation engine: rebuild with "
                 "-DZOK_WITH_FFTW=ON and FFTW 3 installed (Debian: libfftw3-dev)");
#endif
    case TrackerCorr::Engine::AUTO:
        break;
    }
    CV_Error(cv::Error::StsNotImplemented, "unknown correlation engine");
}

} // namespace wyr::zok
