#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zok_mavlink {

// A rectangle in normalised image coordinates: 0 is the left or top edge, 1 the right or bottom.
struct NormalisedBox {
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
};

// What the ground station asked of the video loop, to be done on the next frame.
struct TrackRequest {
    enum class Kind { Rectangle, Point, Stop };
    Kind kind = Kind::Stop;
    NormalisedBox box; // Rectangle: the area to track
    double x = 0.0;    // Point: the point, normalised
    double y = 0.0;
    double radius = 0.0; // Point: normalised to the image width (0 is one pixel)
};

// What the video loop made of a frame.
struct TrackReport {
    enum class State {
        Idle,     // not tracking
        Tracking, // the target was found on this frame
        Lost,     // the target was not found on this frame
        Failed,   // the request could not be started (the track has ended)
    };
    State state = State::Idle;
    NormalisedBox box;      // where the target is (Tracking) or was last seen (Lost)
    double pitchRate = 0.0; // deg/s, positive tilts up; zero when Lost
    double yawRate = 0.0;   // deg/s, positive turns right; zero when Lost
    int frameWidth = 0;     // the frame's size, in pixels
    int frameHeight = 0;
};

// The MAVLink side of a tracking camera: a camera component that announces itself, answers the
// ground station's commands, hands tracking requests to the video loop and, while a track runs,
// commands the gimbal manager with the loop's rates.
//
// It does no input or output and reads no clock: datagrams come in through receive(), go out
// through the send function given to create(), and every call says what time it is, so that it
// can be driven deterministically. One thread at a time.
class CameraComponent {
public:
    struct Params {
        uint8_t systemId = 1;
        uint8_t componentId = 100;   // MAV_COMP_ID_CAMERA
        uint8_t gimbalSystem = 1;    // the gimbal manager (usually the autopilot)
        uint8_t gimbalComponent = 1; // MAV_COMP_ID_AUTOPILOT1
        uint8_t gimbalDevice = 0;    // gimbal device id; 0 addresses all the manager's gimbals
        std::string vendor = "zok";
        std::string model = "zok-mavlink";
        double heartbeatInterval = 1.0;     // seconds
        double defaultStatusInterval = 0.2; // seconds: what an interval of 0 asks for
    };

    // One datagram to send: one MAVLink frame.
    using Send = std::function<void(const std::vector<uint8_t>& datagram)>;

    virtual ~CameraComponent() = default;

    // Handles every frame of a datagram that arrived at `now` (seconds, any steady origin).
    // Anything a sender may put in a datagram is handled or ignored; nothing is refused loudly.
    virtual void receive(const uint8_t* data, size_t size, double now) = 0;

    // Sends what is due at `now`: the heartbeat, and the tracking status at its interval.
    virtual void tick(double now) = 0;

    // The oldest request the video loop has not taken yet. Requests are kept in order, at most
    // a few (a newer one replaces the last when full).
    virtual std::optional<TrackRequest> takeRequest() = 0;

    // The video loop's result for a frame, at `now`: while a track runs, the gimbal manager is
    // sent the rates (converted to rad/s); Failed ends the track.
    virtual void report(const TrackReport& report, double now) = 0;

    // Ends a running track as a stop command would (zero rates, the gimbal handed back), for a
    // program that is about to exit.
    virtual void stop(double now) = 0;

    // Whether a track runs: from an accepted tracking command until a stop or a failure.
    virtual bool tracking() const = 0;

    static std::unique_ptr<CameraComponent> create(const Params& params, Send send);
};

} // namespace zok_mavlink
