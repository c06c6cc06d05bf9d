#include "camera_component.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

#include "messages.hpp"
#include "parser.hpp"

namespace zok_mavlink {

namespace {

constexpr double kRadPerDeg = 3.14159265358979323846 / 180.0;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// Status faster than this is not sent, whatever the ground station asks for.
constexpr double kShortestStatusInterval = 0.01;
constexpr size_t kMaxPendingRequests = 4;
// DO_GIMBAL_MANAGER_CONFIGURE's values for "leave unchanged" and "remove control if in control".
constexpr float kLeaveUnchanged = -1.0f;
constexpr float kReleaseControl = -3.0f;

bool inUnitRange(float v) {
    return std::isfinite(v) && v >= 0.0f && v <= 1.0f;
}

// The next time a periodic message is due: one interval on, or, after a stall of more than an
// interval, one interval from now, so that no burst follows.
double nextDue(double due, double interval, double now) {
    const double next = due + interval;
    return next > now ? next : now + interval;
}

class CameraComponentImpl final : public CameraComponent {
public:
    CameraComponentImpl(const Params& params, Send send)
        : params_(params), send_(std::move(send)), statusInterval_(params.defaultStatusInterval) {}

    void receive(const uint8_t* data, size_t size, double now) override {
        seeTime(now);
        parseDatagram(data, size, [&](const Packet& packet) {
            if (packet.header.messageId == CommandLong::kId) {
                CommandLong command;
                decode(packet, command);
                handle(command, packet.header);
            }
        });
    }

    void tick(double now) override {
        seeTime(now);
        if (!nextHeartbeat_ || now >= *nextHeartbeat_) {
            sendHeartbeat();
            nextHeartbeat_ = nextHeartbeat_
                                 ? nextDue(*nextHeartbeat_, params_.heartbeatInterval, now)
                                 : now + params_.heartbeatInterval;
        }
        if (statusInterval_ > 0.0 && (!nextStatus_ || now >= *nextStatus_)) {
            sendStatus();
            nextStatus_ =
                nextStatus_ ? nextDue(*nextStatus_, statusInterval_, now) : now + statusInterval_;
        }
    }

    std::optional<TrackRequest> takeRequest() override {
        if (requests_.empty()) {
            return std::nullopt;
        }
        const TrackRequest request = requests_.front();
        requests_.pop_front();
        return request;
    }

    void report(const TrackReport& report, double now) override {
        seeTime(now);
        frameWidth_ = report.frameWidth;
        frameHeight_ = report.frameHeight;
        if (!tracking_ || report.state == TrackReport::State::Idle) {
            return; // nothing while idle, nor for a frame from before the track's request
        }
        if (report.state == TrackReport::State::Failed) {
            endTrack();
            return;
        }
        lost_ = report.state == TrackReport::State::Lost;
        statusBox_ = report.box;
        if (lost_) {
            steer(0.0, 0.0); // whatever the loop says, a lost target stops the gimbal
        } else {
            steer(report.pitchRate, report.yawRate);
        }
    }

    void stop(double now) override {
        seeTime(now);
        endTrack();
    }

    bool tracking() const override { return tracking_; }

private:
    void seeTime(double now) {
        if (!bootTime_) {
            bootTime_ = now;
        }
        now_ = now;
    }

    uint32_t timeBootMs() const {
        return uint32_t(std::fmod(std::max(0.0, now_ - *bootTime_) * 1000.0, 4294967296.0));
    }

    template <class Message>
    void sendMessage(const Message& message) {
        std::vector<uint8_t> datagram;
        appendMessage(datagram, {sequence_++, params_.systemId, params_.componentId, 0}, message);
        send_(datagram);
    }

    void handle(const CommandLong& command, const Header& from) {
        const bool forUs =
            (command.targetSystem == 0 || command.targetSystem == params_.systemId) &&
            (command.targetComponent == 0 || command.targetComponent == params_.componentId);
        if (!forUs) {
            return;
        }
        std::function<void()> after;
        const uint8_t result = execute(command, after);
        if (result == MAV_RESULT_UNSUPPORTED && command.targetComponent == 0) {
            // A command for every component that this one does not know is another's to answer:
            // an "unsupported" from here could reach the sender before the real answer.
            return;
        }
        CommandAck ack;
        ack.command = command.command;
        ack.result = result;
        ack.targetSystem = from.systemId;
        ack.targetComponent = from.componentId;
        sendMessage(ack);
        if (after) {
            after(); // a requested message follows its acknowledgement
        }
    }

    // Carries out a command and gives its result; `after` is what to send once acknowledged.
    uint8_t execute(const CommandLong& c, std::function<void()>& after) {
        const std::array<float, 7>& p = c.param;
        switch (c.command) {
        case MAV_CMD_CAMERA_TRACK_RECTANGLE: {
            if (!inUnitRange(p[0]) || !inUnitRange(p[1]) || !inUnitRange(p[2]) ||
                !inUnitRange(p[3]) || p[2] <= p[0] || p[3] <= p[1]) {
                return MAV_RESULT_DENIED;
            }
            TrackRequest r;
            r.kind = TrackRequest::Kind::Rectangle;
            r.box = {p[0], p[1], p[2], p[3]};
            startTrack(r, CAMERA_TRACKING_MODE_RECTANGLE);
            return MAV_RESULT_ACCEPTED;
        }
        case MAV_CMD_CAMERA_TRACK_POINT: {
            if (!inUnitRange(p[0]) || !inUnitRange(p[1]) || !inUnitRange(p[2])) {
                return MAV_RESULT_DENIED;
            }
            TrackRequest r;
            r.kind = TrackRequest::Kind::Point;
            r.x = p[0];
            r.y = p[1];
            r.radius = p[2];
            r.box = {r.x - r.radius, r.y - r.radius, r.x + r.radius, r.y + r.radius};
            startTrack(r, CAMERA_TRACKING_MODE_POINT);
            return MAV_RESULT_ACCEPTED;
        }
        case MAV_CMD_CAMERA_STOP_TRACKING:
            if (tracking_) {
                pushRequest(TrackRequest{});
            }
            endTrack();
            return MAV_RESULT_ACCEPTED;
        case MAV_CMD_REQUEST_CAMERA_INFORMATION:
            after = [this] { sendInformation(); };
            return MAV_RESULT_ACCEPTED;
        case MAV_CMD_REQUEST_MESSAGE:
            if (p[0] == float(CameraInformation::kId)) {
                after = [this] { sendInformation(); };
            } else if (p[0] == float(CameraTrackingImageStatus::kId)) {
                after = [this] { sendStatus(); };
            } else if (p[0] == float(Heartbeat::kId)) {
                after = [this] { sendHeartbeat(); };
            } else {
                return MAV_RESULT_DENIED; // a message this camera does not have
            }
            return MAV_RESULT_ACCEPTED;
        case MAV_CMD_SET_MESSAGE_INTERVAL:
            return setStatusInterval(p[0], p[1]);
        default:
            return MAV_RESULT_UNSUPPORTED;
        }
    }

    uint8_t setStatusInterval(float messageId, float microseconds) {
        if (messageId != float(CameraTrackingImageStatus::kId) || !std::isfinite(microseconds) ||
            microseconds < -1.0f) {
            return MAV_RESULT_DENIED;
        }
        if (microseconds == -1.0f) {
            statusInterval_ = -1.0;
        } else if (microseconds == 0.0f) {
            statusInterval_ = params_.defaultStatusInterval;
        } else {
            statusInterval_ = std::max(double(microseconds) * 1e-6, kShortestStatusInterval);
        }
        nextStatus_.reset(); // the new rate starts with a status now
        return MAV_RESULT_ACCEPTED;
    }

    void pushRequest(const TrackRequest& request) {
        if (requests_.size() >= kMaxPendingRequests) {
            requests_.pop_back();
        }
        requests_.push_back(request);
    }

    void startTrack(const TrackRequest& request, uint8_t mode) {
        pushRequest(request);
        mode_ = mode;
        lost_ = false;
        statusBox_ = request.box;
        if (!tracking_) {
            tracking_ = true;
            configureGimbal(float(params_.systemId), float(params_.componentId));
        }
    }

    void endTrack() {
        if (!tracking_) {
            return;
        }
        tracking_ = false;
        lost_ = false;
        mode_ = CAMERA_TRACKING_MODE_NONE;
        steer(0.0, 0.0); // stop the gimbal before handing it back
        configureGimbal(kReleaseControl, kReleaseControl);
    }

    // Takes (our ids) or releases (kReleaseControl) primary control of the gimbal, leaving the
    // secondary control as it is.
    void configureGimbal(float system, float component) {
        CommandLong c;
        c.command = MAV_CMD_DO_GIMBAL_MANAGER_CONFIGURE;
        c.param = {system,
                   component,
                   kLeaveUnchanged,
                   kLeaveUnchanged,
                   0.0f,
                   0.0f,
                   float(params_.gimbalDevice)};
        c.targetSystem = params_.gimbalSystem;
        c.targetComponent = params_.gimbalComponent;
        sendMessage(c);
    }

    void steer(double pitchDegPerSecond, double yawDegPerSecond) {
        GimbalManagerSetPitchyaw m;
        m.pitch = kNaN;
        m.yaw = kNaN;
        m.pitchRate = float(pitchDegPerSecond * kRadPerDeg);
        m.yawRate = float(yawDegPerSecond * kRadPerDeg);
        m.targetSystem = params_.gimbalSystem;
        m.targetComponent = params_.gimbalComponent;
        m.gimbalDeviceId = params_.gimbalDevice;
        sendMessage(m);
    }

    void sendHeartbeat() {
        Heartbeat m;
        m.type = MAV_TYPE_CAMERA;
        m.autopilot = MAV_AUTOPILOT_INVALID;
        m.systemStatus = MAV_STATE_ACTIVE;
        sendMessage(m);
    }

    void sendInformation() {
        CameraInformation m;
        m.timeBootMs = timeBootMs();
        m.flags = CAMERA_CAP_FLAGS_HAS_TRACKING_POINT | CAMERA_CAP_FLAGS_HAS_TRACKING_RECTANGLE;
        m.resolutionH = uint16_t(std::clamp(frameWidth_, 0, 65535));
        m.resolutionV = uint16_t(std::clamp(frameHeight_, 0, 65535));
        m.vendorName = params_.vendor;
        m.modelName = params_.model;
        m.gimbalDeviceId = params_.gimbalDevice;
        sendMessage(m);
    }

    void sendStatus() {
        CameraTrackingImageStatus m;
        m.pointX = m.pointY = m.radius = kNaN;
        m.recTopX = m.recTopY = m.recBottomX = m.recBottomY = kNaN;
        if (tracking_) {
            m.trackingStatus =
                lost_ ? CAMERA_TRACKING_STATUS_FLAGS_ERROR : CAMERA_TRACKING_STATUS_FLAGS_ACTIVE;
            m.trackingMode = mode_;
            m.targetData = CAMERA_TRACKING_TARGET_DATA_IN_STATUS;
            const NormalisedBox& b = statusBox_;
            if (mode_ == CAMERA_TRACKING_MODE_POINT) {
                m.pointX = float(0.5 * (b.left + b.right));
                m.pointY = float(0.5 * (b.top + b.bottom));
                m.radius = float(0.5 * (b.right - b.left));
            } else {
                m.recTopX = float(b.left);
                m.recTopY = float(b.top);
                m.recBottomX = float(b.right);
                m.recBottomY = float(b.bottom);
            }
        }
        sendMessage(m);
    }

    Params params_;
    Send send_;
    uint8_t sequence_ = 0;
    std::optional<double> bootTime_;
    double now_ = 0.0;
    std::optional<double> nextHeartbeat_;
    double statusInterval_; // seconds; negative: off
    std::optional<double> nextStatus_;
    std::deque<TrackRequest> requests_;
    bool tracking_ = false;
    bool lost_ = false;
    uint8_t mode_ = CAMERA_TRACKING_MODE_NONE;
    NormalisedBox statusBox_;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
};

} // namespace

std::unique_ptr<CameraComponent> CameraComponent::create(const Params& params, Send send) {
    return std::make_unique<CameraComponentImpl>(params, std::move(send));
}

} // namespace zok_mavlink
