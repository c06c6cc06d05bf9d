#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame.hpp"

namespace zok_mavlink {

// The messages a tracking camera exchanges, with their ids, CRC extras and full payload
// lengths (extensions included) from MAVLink's common message set. Field names follow the
// message definitions; every encode() writes the full payload, every decode() reads a payload
// zero-extended to 255 bytes (Packet::payload).

// Values the component sends or reads.
enum : uint16_t {
    MAV_CMD_DO_GIMBAL_MANAGER_CONFIGURE = 1001,
    MAV_CMD_SET_MESSAGE_INTERVAL = 511,
    MAV_CMD_REQUEST_MESSAGE = 512,
    MAV_CMD_REQUEST_CAMERA_INFORMATION = 521,
    MAV_CMD_CAMERA_TRACK_POINT = 2004,
    MAV_CMD_CAMERA_TRACK_RECTANGLE = 2005,
    MAV_CMD_CAMERA_STOP_TRACKING = 2010,
};
enum : uint8_t {
    MAV_RESULT_ACCEPTED = 0,
    MAV_RESULT_DENIED = 2,
    MAV_RESULT_UNSUPPORTED = 3,
    MAV_RESULT_FAILED = 4,
};
enum : uint8_t {
    MAV_TYPE_CAMERA = 30,
    MAV_AUTOPILOT_INVALID = 8,
    MAV_STATE_ACTIVE = 4,
    MAV_COMP_ID_AUTOPILOT1 = 1,
    MAV_COMP_ID_CAMERA = 100,
};
enum : uint32_t {
    CAMERA_CAP_FLAGS_HAS_TRACKING_POINT = 512,
    CAMERA_CAP_FLAGS_HAS_TRACKING_RECTANGLE = 1024,
};
enum : uint8_t {
    CAMERA_TRACKING_STATUS_FLAGS_IDLE = 0,
    CAMERA_TRACKING_STATUS_FLAGS_ACTIVE = 1,
    CAMERA_TRACKING_STATUS_FLAGS_ERROR = 2,
    CAMERA_TRACKING_MODE_NONE = 0,
    CAMERA_TRACKING_MODE_POINT = 1,
    CAMERA_TRACKING_MODE_RECTANGLE = 2,
    CAMERA_TRACKING_TARGET_DATA_NONE = 0,
    CAMERA_TRACKING_TARGET_DATA_IN_STATUS = 4,
};

struct Heartbeat {
    static constexpr uint32_t kId = 0;
    static constexpr uint8_t kCrcExtra = 50;
    static constexpr size_t kLength = 9;
    uint32_t customMode = 0;
    uint8_t type = 0;
    uint8_t autopilot = 0;
    uint8_t baseMode = 0;
    uint8_t systemStatus = 0;
    uint8_t mavlinkVersion = 3;
};

struct CommandLong {
    static constexpr uint32_t kId = 76;
    static constexpr uint8_t kCrcExtra = 152;
    static constexpr size_t kLength = 33;
    std::array<float, 7> param{};
    uint16_t command = 0;
    uint8_t targetSystem = 0;
    uint8_t targetComponent = 0;
    uint8_t confirmation = 0;
};

struct CommandAck {
    static constexpr uint32_t kId = 77;
    static constexpr uint8_t kCrcExtra = 143;
    static constexpr size_t kLength = 10;
    uint16_t command = 0;
    uint8_t result = 0;
    uint8_t progress = 0;
    int32_t resultParam2 = 0;
    uint8_t targetSystem = 0;
    uint8_t targetComponent = 0;
};

struct CameraInformation {
    static constexpr uint32_t kId = 259;
    static constexpr uint8_t kCrcExtra = 92;
    static constexpr size_t kLength = 237;
    uint32_t timeBootMs = 0;
    uint32_t firmwareVersion = 0;
    float focalLength = 0;
    float sensorSizeH = 0;
    float sensorSizeV = 0;
    uint32_t flags = 0;
    uint16_t resolutionH = 0;
    uint16_t resolutionV = 0;
    uint16_t camDefinitionVersion = 0;
    std::string vendorName; // at most 32 bytes are sent
    std::string modelName;  // at most 32 bytes are sent
    uint8_t lensId = 0;
    std::string camDefinitionUri; // at most 140 bytes are sent
    uint8_t gimbalDeviceId = 0;
    uint8_t cameraDeviceId = 0;
};

struct CameraTrackingImageStatus {
    static constexpr uint32_t kId = 275;
    static constexpr uint8_t kCrcExtra = 126;
    static constexpr size_t kLength = 32;
    float pointX = 0;
    float pointY = 0;
    float radius = 0;
    float recTopX = 0;
    float recTopY = 0;
    float recBottomX = 0;
    float recBottomY = 0;
    uint8_t trackingStatus = 0;
    uint8_t trackingMode = 0;
    uint8_t targetData = 0;
    uint8_t cameraDeviceId = 0;
};

struct GimbalManagerSetPitchyaw {
    static constexpr uint32_t kId = 287;
    static constexpr uint8_t kCrcExtra = 1;
    static constexpr size_t kLength = 23;
    uint32_t flags = 0;
    float pitch = 0;     // rad, NaN: not controlled
    float yaw = 0;       // rad, NaN: not controlled
    float pitchRate = 0; // rad/s, positive up
    float yawRate = 0;   // rad/s, positive right
    uint8_t targetSystem = 0;
    uint8_t targetComponent = 0;
    uint8_t gimbalDeviceId = 0;
};

// The CRC extra of the messages above; nothing for any other id.
std::optional<uint8_t> crcExtra(uint32_t messageId);

void encode(const Heartbeat& m, uint8_t* payload);
void encode(const CommandLong& m, uint8_t* payload);
void encode(const CommandAck& m, uint8_t* payload);
void encode(const CameraInformation& m, uint8_t* payload);
void encode(const CameraTrackingImageStatus& m, uint8_t* payload);
void encode(const GimbalManagerSetPitchyaw& m, uint8_t* payload);

void decode(const Packet& p, Heartbeat& m);
void decode(const Packet& p, CommandLong& m);
void decode(const Packet& p, CommandAck& m);
void decode(const Packet& p, CameraInformation& m);
void decode(const Packet& p, CameraTrackingImageStatus& m);
void decode(const Packet& p, GimbalManagerSetPitchyaw& m);

// Appends `message` to `out` as one frame.
template <class Message>
void appendMessage(std::vector<uint8_t>& out, Header header, const Message& message) {
    std::array<uint8_t, Message::kLength> payload{};
    encode(message, payload.data());
    header.messageId = Message::kId;
    appendFrame(out, header, payload.data(), payload.size(), Message::kCrcExtra);
}

} // namespace zok_mavlink
