#include "zok/gimbal_controller.hpp"

#include "director/gimbal_controller_impl.hpp"

namespace wyr::zok {

GimbalController::Params::Params()
    : horizontalFov(60.0), verticalFov(0.0), proportionalGain(2.0), integralGain(0.3),
      maxRate(60.0), deadBand(0.5) {}

cv::Ptr<GimbalController> GimbalController::create(const Params& params) {
    return cv::makePtr<GimbalControllerImpl>(params);
}

} // namespace wyr::zok
