#include "accuracy/gimbal/virtual_gimbal.hpp"

#include <algorithm>
#include <cmath>

#include "geometry/geometry.hpp"
#include "geometry/pinhole.hpp"

namespace wyr::zok::accuracy {

double VirtualCamera::focalLength() const {
    return wyr::zok::focalLength(frame.width, frameFov);
}

double VirtualCamera::viewFov() const {
    return fieldOfView(view.width, focalLength());
}

VirtualGimbal::VirtualGimbal(const VirtualCamera& camera, int delayFrames, const cv::Point2d& aim)
    : camera_(camera), pending_(size_t(std::max(delayFrames, 0))) {
    if (camera.view.width < 1 || camera.view.height < 1 || camera.view.width > camera.frame.width ||
        camera.view.height > camera.frame.height) {
        CV_Error(cv::Error::StsBadArg, "the virtual gimbal's view must be a crop of the frame");
    }
    if (delayFrames < 0) {
        CV_Error(cv::Error::StsBadArg, "the virtual gimbal's delay cannot be negative");
    }
    if (!(camera.frameFov >= 1.0 && camera.frameFov <= 170.0)) {
        CV_Error(cv::Error::StsBadArg, "the virtual camera's field of view must be 1..170 degrees");
    }
    focal_ = camera.focalLength();
    const cv::Point axis = imageCentre(camera.frame);
    GimbalController::Angles a;
    a.yaw = std::atan((aim.x - axis.x) / focal_) * DEG_PER_RAD;
    a.pitch = std::atan((axis.y - aim.y) / focal_) * DEG_PER_RAD;
    pointing_ = withinTravel(a);
}

cv::Point2d VirtualGimbal::viewCentre(const GimbalController::Angles& a) const {
    const cv::Point axis = imageCentre(camera_.frame);
    return {axis.x + focal_ * std::tan(a.yaw / DEG_PER_RAD),
            axis.y - focal_ * std::tan(a.pitch / DEG_PER_RAD)};
}

GimbalController::Angles VirtualGimbal::withinTravel(GimbalController::Angles a) const {
    // The view's centre pixel ranges over the frame minus half the view on each side.
    const cv::Point axis = imageCentre(camera_.frame);
    const cv::Point lo = imageCentre(camera_.view);
    const cv::Point hi = cv::Point(camera_.frame - camera_.view) + lo;
    const auto angle = [this](double pixels) { return std::atan(pixels / focal_) * DEG_PER_RAD; };
    a.yaw = std::clamp(a.yaw, angle(lo.x - axis.x), angle(hi.x - axis.x));
    a.pitch = std::clamp(a.pitch, angle(axis.y - hi.y), angle(axis.y - lo.y));
    return a;
}

cv::Rect VirtualGimbal::view() const {
    const cv::Point2d c = viewCentre(pointing_);
    const cv::Point half = imageCentre(camera_.view);
    const cv::Size room = camera_.frame - camera_.view;
    // Rounding can step a pixel past the travel's end; the crop never leaves the frame.
    const int x = std::clamp(int(std::lround(c.x)) - half.x, 0, room.width);
    const int y = std::clamp(int(std::lround(c.y)) - half.y, 0, room.height);
    return {cv::Point(x, y), camera_.view};
}

void VirtualGimbal::command(const GimbalController::Rates& rates, double dtSeconds) {
    pending_.push_back(rates);
    const GimbalController::Rates due = pending_.front();
    pending_.pop_front();
    GimbalController::Angles a = pointing_;
    a.yaw += due.yaw * dtSeconds;
    a.pitch += due.pitch * dtSeconds;
    pointing_ = withinTravel(a);
}

} // namespace wyr::zok::accuracy
