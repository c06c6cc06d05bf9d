#include "director/gimbal_controller_impl.hpp"

#include <algorithm>
#include <cmath>

#include "geometry/clamp_or.hpp"
#include "geometry/pinhole.hpp"

namespace wyr::zok {
namespace {

constexpr double MAX_STEP_SECONDS = 1.0;

GimbalController::Params clamped(const GimbalController::Params& p) {
    const GimbalController::Params d;
    GimbalController::Params a;
    a.horizontalFov = clampOr(p.horizontalFov, 1.0, 170.0, d.horizontalFov);
    a.verticalFov = p.verticalFov == 0.0 ? 0.0 : clampOr(p.verticalFov, 1.0, 170.0, d.verticalFov);
    a.proportionalGain = clampOr(p.proportionalGain, 0.0, 50.0, d.proportionalGain);
    a.integralGain = clampOr(p.integralGain, 0.0, 50.0, d.integralGain);
    a.maxRate = clampOr(p.maxRate, 0.0, 1000.0, d.maxRate);
    a.deadBand = clampOr(p.deadBand, 0.0, 45.0, d.deadBand);
    return a;
}

} // namespace

GimbalControllerImpl::GimbalControllerImpl(const Params& params) : params_(clamped(params)) {}

GimbalController::Angles GimbalControllerImpl::angles(const cv::Point2d& offset,
                                                      const cv::Size& frame) const {
    if (frame.width <= 0 || frame.height <= 0) {
        CV_Error(cv::Error::StsBadArg, "GimbalController needs a frame size that is not empty");
    }
    const double fx = focalLength(frame.width, params_.horizontalFov);
    // Square pixels share one focal length unless a vertical field of view is given.
    const double fy =
        params_.verticalFov == 0.0 ? fx : focalLength(frame.height, params_.verticalFov);
    Angles a;
    a.yaw = std::atan2(offset.x, fx) * DEG_PER_RAD;
    a.pitch = -std::atan2(offset.y, fy) * DEG_PER_RAD;
    return a;
}

double GimbalControllerImpl::axisRate(double error, double dt, double& integral) const {
    const double beyond = std::abs(error) - params_.deadBand;
    const double e = beyond > 0.0 ? std::copysign(beyond, error) : 0.0;
    const double limit = params_.maxRate;
    const double candidate = integral + e * dt;
    const double rate = params_.proportionalGain * e + params_.integralGain * candidate;
    // Integrate only while the output is not held at the limit, or when the error pulls it
    // back: otherwise the integral winds up during a long slew and overshoots afterwards.
    // An integral of zero has nothing to pull back, whatever the sign bit of its zero says.
    if (std::abs(rate) <= limit || (e > 0.0 && integral < 0.0) || (e < 0.0 && integral > 0.0)) {
        integral = candidate;
    }
    return std::clamp(params_.proportionalGain * e + params_.integralGain * integral, -limit,
                      limit);
}

GimbalController::Rates GimbalControllerImpl::update(const cv::Point2d& offset,
                                                     const cv::Size& frame, double dtSeconds) {
    if (!std::isfinite(offset.x) || !std::isfinite(offset.y)) {
        CV_Error(cv::Error::StsBadArg, "GimbalController needs a finite centre offset");
    }
    const Angles error = angles(offset, frame);
    const double dt = clampOr(dtSeconds, 0.0, MAX_STEP_SECONDS, 0.0);
    Rates r;
    r.pitch = axisRate(error.pitch, dt, pitchIntegral_);
    r.yaw = axisRate(error.yaw, dt, yawIntegral_);
    return r;
}

GimbalController::Rates GimbalControllerImpl::lost() {
    reset();
    return {};
}

void GimbalControllerImpl::reset() {
    pitchIntegral_ = 0.0;
    yawIntegral_ = 0.0;
}

} // namespace wyr::zok
