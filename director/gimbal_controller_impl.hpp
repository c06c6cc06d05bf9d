#pragma once

#include "zok/gimbal_controller.hpp"

namespace wyr::zok {

class GimbalControllerImpl final : public GimbalController {
public:
    explicit GimbalControllerImpl(const Params& params);

    Rates update(const cv::Point2d& offset, const cv::Size& frame, double dtSeconds) override;
    Rates lost() override;
    void reset() override;
    Angles angles(const cv::Point2d& offset, const cv::Size& frame) const override;
    Params params() const override { return params_; }

private:
    // One axis of the law: the rate for an error of `error` degrees, with its integral.
    double axisRate(double error, double dt, double& integral) const;

    const Params params_;
    double pitchIntegral_ = 0.0;
    double yawIntegral_ = 0.0;
};

} // namespace wyr::zok
