#pragma once

#include <opencv2/core.hpp>

#include "zok/export.hpp"

namespace wyr::zok {

/// Turns the offset of the target's centre from the image centre into pan and tilt rates for a
/// gimbal that carries the camera, so that the camera turns until the target sits at the centre.
///
/// The offset, in pixels (x to the right, y downwards, as FlightDirector reports it), becomes an
/// angle through a pinhole camera of the configured field of view; each axis then runs its own
/// proportional-integral law with a dead band around the centre and a limit on the rate.
/// Rates follow the gimbal protocol's signs: yaw positive turns the camera right, pitch
/// positive tilts it up; so a target right of the centre gives a positive yaw rate and a
/// target below it a negative pitch rate.
///
/// Use: update() on each frame where the target was found, lost() on each frame where it was
/// not (which stops the gimbal at once), reset() when a new track starts. A controller keeps
/// the integral of each axis and nothing else; it is used by one thread at a time.
class GimbalController {
public:
    /// The controller's parameters: a plain value, copied by create(), which never refuses a
    /// value; each is clamped as documented when the controller is constructed (a NaN takes the
    /// default).
    struct Params {
        ZOK_EXPORT Params();

        /// Horizontal field of view of the camera, in degrees. Default 60; clamped into 1..170.
        double horizontalFov;
        /// Vertical field of view, in degrees; 0 derives it from the horizontal one and the
        /// frame's aspect ratio (square pixels). Default 0; otherwise clamped into 1..170.
        double verticalFov;
        /// Rate commanded per degree of angular error, in degrees per second per degree (1/s):
        /// the error closes with this time constant's inverse. Default 2; clamped into 0..50.
        double proportionalGain;
        /// Rate added per degree-second of accumulated error (1/s^2), which removes the lag of
        /// a proportional law behind a target that keeps moving. Default 0.3; clamped into
        /// 0..50.
        double integralGain;
        /// The largest rate commanded on either axis, in degrees per second. Default 60;
        /// clamped into 0..1000.
        double maxRate;
        /// Errors within this angle of the centre, in degrees, add nothing to the rate and are
        /// not integrated, so that a still target does not make the gimbal hunt (the integral
        /// learned so far still commands its part, which keeps a steady pan going); beyond it
        /// the error counts from the band's edge. Default 0.5; clamped into 0..45.
        double deadBand;
    };

    /// Rates for the gimbal, in degrees per second.
    struct Rates {
        /// Tilt rate: positive tilts the camera up.
        double pitch = 0.0;
        /// Pan rate: positive turns the camera right.
        double yaw = 0.0;
    };

    /// Angles of the target from the optical axis, in degrees.
    struct Angles {
        /// Vertical angle: positive above the centre.
        double pitch = 0.0;
        /// Horizontal angle: positive right of the centre.
        double yaw = 0.0;
    };

    virtual ~GimbalController() = default;

    /// The rates for a frame of size `frame` on which the target's centre was found `offset`
    /// pixels from the image centre, `dtSeconds` after the previous call. The time step is
    /// clamped into 0..1 s (a NaN counts as 0), so that a stalled stream cannot wind up the
    /// integral. Raises cv::Exception (StsBadArg) for an empty frame size or an offset that is
    /// not finite, and leaves the controller unchanged.
    virtual Rates update(const cv::Point2d& offset, const cv::Size& frame, double dtSeconds) = 0;

    /// Zero rates for a frame on which the target was not found; the integral is cleared, so
    /// that the gimbal does not lurch on the frame the target is found again.
    virtual Rates lost() = 0;

    /// Clears the integral, as for a new track.
    virtual void reset() = 0;

    /// The angles of a point `offset` pixels from the centre of a frame of size `frame`, with
    /// the controller's field of view (StsBadArg for an empty size, as update()).
    virtual Angles angles(const cv::Point2d& offset, const cv::Size& frame) const = 0;

    /// The parameters as clamped.
    virtual Params params() const = 0;

    /// Constructs a controller from `params`.
    ZOK_EXPORT static cv::Ptr<GimbalController> create(const Params& params = Params());
};

} // namespace wyr::zok
