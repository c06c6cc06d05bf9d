#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "mavlink/camera_component.hpp"
#include "mavlink/messages.hpp"
#include "mavlink/parser.hpp"

namespace zok_mavlink {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr uint8_t kStation = 255; // the ground station's system id
constexpr uint8_t kStationComponent = 190;

// A component with ids 7/100 and a gimbal manager at 7/1, device 154, and what it sent.
class Harness {
public:
    Harness() {
        CameraComponent::Params p;
        p.systemId = 7;
        p.componentId = 100;
        p.gimbalSystem = 7;
        p.gimbalComponent = 1;
        p.gimbalDevice = 154;
        component = CameraComponent::create(p, [this](const std::vector<uint8_t>& d) {
            parseDatagram(d.data(), d.size(),
                          [this](const Packet& packet) { sent.push_back(packet); });
        });
    }

    void command(uint16_t id, std::array<float, 7> params, uint8_t targetSystem = 7,
                 uint8_t targetComponent = 100, double now = 0.0) {
        CommandLong c;
        c.command = id;
        c.param = params;
        c.targetSystem = targetSystem;
        c.targetComponent = targetComponent;
        std::vector<uint8_t> datagram;
        appendMessage(datagram, {0, kStation, kStationComponent, 0}, c);
        component->receive(datagram.data(), datagram.size(), now);
    }

    template <class Message>
    std::vector<Message> all(bool clear = false) {
        std::vector<Message> out;
        for (const Packet& p : sent) {
            if (p.header.messageId == Message::kId) {
                out.emplace_back();
                decode(p, out.back());
            }
        }
        if (clear) {
            sent.clear();
        }
        return out;
    }

    std::unique_ptr<CameraComponent> component;
    std::vector<Packet> sent;
};

struct CommandCase {
    const char* name;
    uint16_t command;
    std::array<float, 7> params;
    uint8_t expected;
    bool starts; // whether a track starts
};

class Commands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(Commands, AreAnsweredAsTheirArgumentsDeserve) {
    const CommandCase& c = GetParam();
    Harness h;
    h.command(c.command, c.params);
    const std::vector<CommandAck> acks = h.all<CommandAck>();
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].command, c.command);
    EXPECT_EQ(acks[0].result, c.expected);
    EXPECT_EQ(acks[0].targetSystem, kStation);
    EXPECT_EQ(acks[0].targetComponent, kStationComponent);
    EXPECT_EQ(h.component->tracking(), c.starts);
    EXPECT_EQ(h.component->takeRequest().has_value(), c.starts);
    // Taking control of the gimbal goes with starting a track, and with nothing else.
    EXPECT_EQ(h.all<CommandLong>().size(), c.starts ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    CameraComponent, Commands,
    ::testing::Values(
        CommandCase{"Rectangle",
                    MAV_CMD_CAMERA_TRACK_RECTANGLE,
                    {0.1f, 0.2f, 0.3f, 0.4f},
                    MAV_RESULT_ACCEPTED,
                    true},
        CommandCase{"RectangleWholeImage",
                    MAV_CMD_CAMERA_TRACK_RECTANGLE,
                    {0, 0, 1, 1},
                    MAV_RESULT_ACCEPTED,
                    true},
        CommandCase{"RectangleInverted",
                    MAV_CMD_CAMERA_TRACK_RECTANGLE,
                    {0.3f, 0.2f, 0.1f, 0.4f},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"RectangleEmpty",
                    MAV_CMD_CAMERA_TRACK_RECTANGLE,
                    {0.3f, 0.2f, 0.3f, 0.4f},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"RectangleOutside",
                    MAV_CMD_CAMERA_TRACK_RECTANGLE,
                    {0.5f, 0.5f, 1.01f, 0.6f},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"RectangleNegative",
                    MAV_CMD_CAMERA_TRACK_RECTANGLE,
                    {-0.1f, 0.5f, 0.6f, 0.6f},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"RectangleNaN",
                    MAV_CMD_CAMERA_TRACK_RECTANGLE,
                    {0.1f, kNaN, 0.6f, 0.6f},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{
            "Point", MAV_CMD_CAMERA_TRACK_POINT, {0.5f, 0.5f, 0.05f}, MAV_RESULT_ACCEPTED, true},
        CommandCase{"PointOutside",
                    MAV_CMD_CAMERA_TRACK_POINT,
                    {1.5f, 0.5f, 0.05f},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"PointNaNRadius",
                    MAV_CMD_CAMERA_TRACK_POINT,
                    {0.5f, 0.5f, kNaN},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"PointInfinite",
                    MAV_CMD_CAMERA_TRACK_POINT,
                    {std::numeric_limits<float>::infinity(), 0.5f, 0.1f},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"StopWhileIdle", MAV_CMD_CAMERA_STOP_TRACKING, {}, MAV_RESULT_ACCEPTED, false},
        CommandCase{
            "IntervalOff", MAV_CMD_SET_MESSAGE_INTERVAL, {275, -1}, MAV_RESULT_ACCEPTED, false},
        CommandCase{"IntervalOtherMessage",
                    MAV_CMD_SET_MESSAGE_INTERVAL,
                    {33, 100000},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{"IntervalBelowMinusOne",
                    MAV_CMD_SET_MESSAGE_INTERVAL,
                    {275, -2},
                    MAV_RESULT_DENIED,
                    false},
        CommandCase{
            "IntervalNaN", MAV_CMD_SET_MESSAGE_INTERVAL, {275, kNaN}, MAV_RESULT_DENIED, false},
        CommandCase{"RequestOtherMessage", MAV_CMD_REQUEST_MESSAGE, {33}, MAV_RESULT_DENIED, false},
        CommandCase{"OtherCameraCommand",
                    2000 /* IMAGE_START_CAPTURE */,
                    {},
                    MAV_RESULT_UNSUPPORTED,
                    false},
        CommandCase{"ArmCommand", 400, {1}, MAV_RESULT_UNSUPPORTED, false}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return info.param.name; });

TEST(CameraComponent, IgnoresCommandsForOthersAndTakesBroadcasts) {
    Harness h;
    h.command(MAV_CMD_CAMERA_TRACK_RECTANGLE, {0.1f, 0.1f, 0.2f, 0.2f}, 8, 100);
    h.command(MAV_CMD_CAMERA_TRACK_RECTANGLE, {0.1f, 0.1f, 0.2f, 0.2f}, 7, 101);
    h.command(MAV_CMD_CAMERA_STOP_TRACKING, {}, 1, 0);
    EXPECT_TRUE(h.sent.empty());
    EXPECT_FALSE(h.component->tracking());
    h.command(MAV_CMD_CAMERA_TRACK_RECTANGLE, {0.1f, 0.1f, 0.2f, 0.2f}, 0, 0);
    h.command(MAV_CMD_CAMERA_STOP_TRACKING, {}, 7, 0);
    EXPECT_EQ(h.all<CommandAck>().size(), 2u);
    // A broadcast command it does not carry out is left to the components that do.
    h.command(400 /* COMPONENT_ARM_DISARM */, {1}, 7, 0);
    h.command(400, {1}, 0, 0);
    EXPECT_EQ(h.all<CommandAck>().size(), 2u);
}

TEST(CameraComponent, AnswersInformationRequestsAfterTheAck) {
    Harness h;
    TrackReport idle;
    idle.frameWidth = 640;
    idle.frameHeight = 480;
    h.component->report(idle, 0.0); // the frame size is known from any frame, idle or not
    h.sent.clear();
    h.command(MAV_CMD_REQUEST_MESSAGE, {259});
    h.command(MAV_CMD_REQUEST_CAMERA_INFORMATION, {1});
    ASSERT_EQ(h.sent.size(), 4u);
    EXPECT_EQ(h.sent[0].header.messageId, CommandAck::kId);
    EXPECT_EQ(h.sent[1].header.messageId, CameraInformation::kId);
    const std::vector<CameraInformation> info = h.all<CameraInformation>();
    EXPECT_EQ(info[0].flags, 512u | 1024u);
    EXPECT_EQ(info[0].resolutionH, 640);
    EXPECT_EQ(info[0].resolutionV, 480);
    EXPECT_EQ(info[0].gimbalDeviceId, 154);
    EXPECT_EQ(info[0].modelName, "zok-mavlink");
    EXPECT_EQ(h.sent[1].header.systemId, 7);
    EXPECT_EQ(h.sent[1].header.componentId, 100);
    // Sequence numbers count every frame sent.
    EXPECT_EQ(uint8_t(h.sent[1].header.sequence + 1), h.sent[2].header.sequence);
}

TEST(CameraComponent, HeartbeatOnceASecond) {
    Harness h;
    for (int ms = 0; ms <= 3500; ms += 5) {
        h.component->tick(100.0 + ms * 1e-3);
    }
    const std::vector<Heartbeat> beats = h.all<Heartbeat>();
    ASSERT_EQ(beats.size(), 4u);
    EXPECT_EQ(beats[0].type, MAV_TYPE_CAMERA);
    EXPECT_EQ(beats[0].autopilot, MAV_AUTOPILOT_INVALID);
}

struct IntervalCase {
    float microseconds;
    size_t statusesInTwoSeconds;
};

class StatusInterval : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(StatusInterval, SetsTheStatusRate) {
    Harness h;
    h.command(MAV_CMD_SET_MESSAGE_INTERVAL, {275, GetParam().microseconds});
    h.sent.clear();
    for (int ms = 0; ms < 2000; ms += 1) {
        h.component->tick(ms * 1e-3);
    }
    EXPECT_EQ(h.all<CameraTrackingImageStatus>().size(), GetParam().statusesInTwoSeconds);
}

INSTANTIATE_TEST_SUITE_P(CameraComponent, StatusInterval,
                         ::testing::Values(IntervalCase{-1, 0}, IntervalCase{0, 10},
                                           IntervalCase{100000, 20}, IntervalCase{500000, 4},
                                           IntervalCase{1, 200})); // held at 100 Hz

TEST(CameraComponent, SteersOnlyWhileTrackingAndHandsTheGimbalBack) {
    Harness h;
    TrackReport report;
    report.state = TrackReport::State::Tracking;
    report.box = {0.4, 0.4, 0.6, 0.6};
    report.pitchRate = -10.0;
    report.yawRate = 30.0;
    report.frameWidth = 640;
    report.frameHeight = 480;
    h.component->report(report, 0.0);
    EXPECT_TRUE(h.sent.empty()) << "idle: the gimbal is not commanded";

    h.command(MAV_CMD_CAMERA_TRACK_RECTANGLE, {0.4f, 0.4f, 0.6f, 0.6f});
    const std::vector<CommandLong> take = h.all<CommandLong>(true);
    ASSERT_EQ(take.size(), 1u);
    EXPECT_EQ(take[0].command, MAV_CMD_DO_GIMBAL_MANAGER_CONFIGURE);
    EXPECT_EQ(take[0].targetSystem, 7);
    EXPECT_EQ(take[0].targetComponent, 1);
    EXPECT_EQ(take[0].param[0], 7.0f);
    EXPECT_EQ(take[0].param[1], 100.0f);
    EXPECT_EQ(take[0].param[2], -1.0f);
    EXPECT_EQ(take[0].param[6], 154.0f);

    h.component->report(report, 0.04);
    report.state = TrackReport::State::Lost;
    report.pitchRate = 5.0; // a lost target stops the gimbal whatever the rates say
    h.component->report(report, 0.08);
    const std::vector<GimbalManagerSetPitchyaw> steer = h.all<GimbalManagerSetPitchyaw>(true);
    ASSERT_EQ(steer.size(), 2u);
    EXPECT_TRUE(std::isnan(steer[0].pitch) && std::isnan(steer[0].yaw));
    EXPECT_FLOAT_EQ(steer[0].pitchRate, float(-10.0 * M_PI / 180.0));
    EXPECT_FLOAT_EQ(steer[0].yawRate, float(30.0 * M_PI / 180.0));
    EXPECT_EQ(steer[0].targetSystem, 7);
    EXPECT_EQ(steer[0].targetComponent, 1);
    EXPECT_EQ(steer[0].gimbalDeviceId, 154);
    EXPECT_EQ(steer[1].pitchRate, 0.0f);
    EXPECT_EQ(steer[1].yawRate, 0.0f);

    h.command(MAV_CMD_CAMERA_STOP_TRACKING, {});
    ASSERT_EQ(h.sent.size(), 3u); // zero rates, control handed back, then the ack
    GimbalManagerSetPitchyaw stop;
    decode(h.sent[0], stop);
    EXPECT_EQ(stop.yawRate, 0.0f);
    CommandLong release;
    decode(h.sent[1], release);
    EXPECT_EQ(release.command, MAV_CMD_DO_GIMBAL_MANAGER_CONFIGURE);
    EXPECT_EQ(release.param[0], -3.0f);
    EXPECT_EQ(release.param[1], -3.0f);
    h.sent.clear();
    report.state = TrackReport::State::Tracking; // a frame from before the stop was taken
    h.component->report(report, 0.12);
    EXPECT_TRUE(h.sent.empty());
}

TEST(CameraComponent, RequestsReachTheLoopInOrderAndBounded) {
    Harness h;
    h.command(MAV_CMD_CAMERA_TRACK_POINT, {0.5f, 0.25f, 0.1f});
    h.command(MAV_CMD_CAMERA_STOP_TRACKING, {});
    std::optional<TrackRequest> r = h.component->takeRequest();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, TrackRequest::Kind::Point);
    EXPECT_FLOAT_EQ(float(r->x), 0.5f);
    EXPECT_FLOAT_EQ(float(r->y), 0.25f);
    EXPECT_FLOAT_EQ(float(r->radius), 0.1f);
    r = h.component->takeRequest();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, TrackRequest::Kind::Stop);
    EXPECT_FALSE(h.component->takeRequest());
    for (int i = 0; i < 100; ++i) {
        h.command(MAV_CMD_CAMERA_TRACK_RECTANGLE, {0.1f, 0.1f, 0.2f + i * 0.001f, 0.2f});
    }
    int pending = 0;
    while ((r = h.component->takeRequest())) {
        ++pending;
        if (pending == 4) {
            EXPECT_FLOAT_EQ(float(r->box.right), 0.2f + 99 * 0.001f) << "the newest request wins";
        }
    }
    EXPECT_EQ(pending, 4);
}

TEST(CameraComponent, StatusFollowsTheTrack) {
    Harness h;
    h.component->tick(0.0);
    TrackReport report;
    report.frameWidth = 640;
    report.frameHeight = 480;
    h.command(MAV_CMD_CAMERA_TRACK_POINT, {0.5f, 0.5f, 0.05f});
    report.state = TrackReport::State::Tracking;
    report.box = {0.25, 0.5, 0.35, 0.7};
    h.component->report(report, 0.05);
    h.command(MAV_CMD_REQUEST_MESSAGE, {275});
    report.state = TrackReport::State::Lost;
    h.component->report(report, 0.10);
    h.command(MAV_CMD_REQUEST_MESSAGE, {275});
    report.state = TrackReport::State::Failed;
    h.component->report(report, 0.15);
    h.command(MAV_CMD_REQUEST_MESSAGE, {275});
    const std::vector<CameraTrackingImageStatus> s = h.all<CameraTrackingImageStatus>();
    ASSERT_EQ(s.size(), 4u); // the first at tick(0), idle
    EXPECT_EQ(s[0].trackingStatus, CAMERA_TRACKING_STATUS_FLAGS_IDLE);
    EXPECT_EQ(s[0].trackingMode, CAMERA_TRACKING_MODE_NONE);
    EXPECT_EQ(s[1].trackingStatus, CAMERA_TRACKING_STATUS_FLAGS_ACTIVE);
    EXPECT_EQ(s[1].trackingMode, CAMERA_TRACKING_MODE_POINT);
    EXPECT_EQ(s[1].targetData, CAMERA_TRACKING_TARGET_DATA_IN_STATUS);
    EXPECT_FLOAT_EQ(s[1].pointX, 0.3f);
    EXPECT_FLOAT_EQ(s[1].pointY, 0.6f);
    EXPECT_FLOAT_EQ(s[1].radius, 0.05f);
    EXPECT_TRUE(std::isnan(s[1].recTopX));
    EXPECT_EQ(s[2].trackingStatus, CAMERA_TRACKING_STATUS_FLAGS_ERROR);
    EXPECT_EQ(s[3].trackingStatus, CAMERA_TRACKING_STATUS_FLAGS_IDLE);
    EXPECT_FALSE(h.component->tracking());
}

TEST(CameraComponent, SurvivesNoise) {
    Harness h;
    std::mt19937 rng(23);
    std::vector<uint8_t> datagram(600);
    for (int i = 0; i < 2000; ++i) {
        for (uint8_t& byte : datagram) {
            byte = uint8_t(rng());
        }
        datagram[rng() % 500] = kMagic;
        h.component->receive(datagram.data(), rng() % 600, i * 0.01);
    }
    h.component->receive(nullptr, 0, 30.0);
    EXPECT_FALSE(h.component->tracking());
}

} // namespace
} // namespace zok_mavlink
