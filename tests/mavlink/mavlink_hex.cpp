// Our framing as a filter, for the tests that hold it against another MAVLink implementation:
//   mavlink_hex decode   each line of standard input is a datagram in hex; prints one JSON line
//                        per datagram with the frames our parser found and their fields
//   mavlink_hex encode   prints one JSON line per sample message: our frame in hex and the
//                        fields it carries
// Field names are those node-mavlink gives them.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "mavlink/messages.hpp"
#include "mavlink/parser.hpp"

namespace {

using namespace zok_mavlink;

class Fields {
public:
    Fields& add(const char* name, double value) {
        separate();
        out_ << '"' << name << "\":";
        if (std::isfinite(value)) {
            char text[64];
            std::snprintf(text, sizeof text, "%.9g", value);
            out_ << text;
        } else {
            out_ << "null";
        }
        return *this;
    }
    Fields& add(const char* name, const std::string& value) {
        separate();
        out_ << '"' << name << "\":\"" << value << '"'; // test texts need no escapes
        return *this;
    }
    std::string str() const { return "{" + out_.str() + "}"; }

private:
    void separate() {
        if (any_) {
            out_ << ',';
        }
        any_ = true;
    }
    std::ostringstream out_;
    bool any_ = false;
};

std::string fields(const Heartbeat& m) {
    return Fields()
        .add("customMode", m.customMode)
        .add("type", m.type)
        .add("autopilot", m.autopilot)
        .add("baseMode", m.baseMode)
        .add("systemStatus", m.systemStatus)
        .add("mavlinkVersion", m.mavlinkVersion)
        .str();
}

std::string fields(const CommandLong& m) {
    Fields f;
    const char* names[] = {"_param1", "_param2", "_param3", "_param4",
                           "_param5", "_param6", "_param7"};
    for (int i = 0; i < 7; ++i) {
        f.add(names[i], m.param[i]);
    }
    return f.add("command", m.command)
        .add("targetSystem", m.targetSystem)
        .add("targetComponent", m.targetComponent)
        .add("confirmation", m.confirmation)
        .str();
}

std::string fields(const CommandAck& m) {
    return Fields()
        .add("command", m.command)
        .add("result", m.result)
        .add("progress", m.progress)
        .add("resultParam2", m.resultParam2)
        .add("targetSystem", m.targetSystem)
        .add("targetComponent", m.targetComponent)
        .str();
}

std::string fields(const CameraInformation& m) {
    return Fields()
        .add("timeBootMs", m.timeBootMs)
        .add("firmwareVersion", m.firmwareVersion)
        .add("focalLength", m.focalLength)
        .add("sensorSizeH", m.sensorSizeH)
        .add("sensorSizeV", m.sensorSizeV)
        .add("flags", m.flags)
        .add("resolutionH", m.resolutionH)
        .add("resolutionV", m.resolutionV)
        .add("camDefinitionVersion", m.camDefinitionVersion)
        .add("vendorName", m.vendorName)
        .add("modelName", m.modelName)
        .add("lensId", m.lensId)
        .add("camDefinitionUri", m.camDefinitionUri)
        .add("gimbalDeviceId", m.gimbalDeviceId)
        .add("cameraDeviceId", m.cameraDeviceId)
        .str();
}

std::string fields(const CameraTrackingImageStatus& m) {
    return Fields()
        .add("pointX", m.pointX)
        .add("pointY", m.pointY)
        .add("radius", m.radius)
        .add("recTopX", m.recTopX)
        .add("recTopY", m.recTopY)
        .add("recBottomX", m.recBottomX)
        .add("recBottomY", m.recBottomY)
        .add("trackingStatus", m.trackingStatus)
        .add("trackingMode", m.trackingMode)
        .add("targetData", m.targetData)
        .add("cameraDeviceId", m.cameraDeviceId)
        .str();
}

std::string fields(const GimbalManagerSetPitchyaw& m) {
    return Fields()
        .add("flags", m.flags)
        .add("pitch", m.pitch)
        .add("yaw", m.yaw)
        .add("pitchRate", m.pitchRate)
        .add("yawRate", m.yawRate)
        .add("targetSystem", m.targetSystem)
        .add("targetComponent", m.targetComponent)
        .add("gimbalDeviceId", m.gimbalDeviceId)
        .str();
}

template <class Message>
std::string decodedFields(const Packet& packet) {
    Message m;
    decode(packet, m);
    return fields(m);
}

std::string fieldsOf(const Packet& p) {
    switch (p.header.messageId) {
    case Heartbeat::kId:
        return decodedFields<Heartbeat>(p);
    case CommandLong::kId:
        return decodedFields<CommandLong>(p);
    case CommandAck::kId:
        return decodedFields<CommandAck>(p);
    case CameraInformation::kId:
        return decodedFields<CameraInformation>(p);
    case CameraTrackingImageStatus::kId:
        return decodedFields<CameraTrackingImageStatus>(p);
    case GimbalManagerSetPitchyaw::kId:
        return decodedFields<GimbalManagerSetPitchyaw>(p);
    }
    return "{}";
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char* const digits = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

int decodeLines() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::vector<uint8_t> datagram;
        for (size_t i = 0; i + 1 < line.size(); i += 2) {
            datagram.push_back(uint8_t(std::stoi(line.substr(i, 2), nullptr, 16)));
        }
        std::string frames;
        const ParseCounts counts =
            parseDatagram(datagram.data(), datagram.size(), [&](const Packet& p) {
                frames += (frames.empty() ? "" : ",") + std::string("{\"msgid\":") +
                          std::to_string(p.header.messageId) +
                          ",\"seq\":" + std::to_string(p.header.sequence) +
                          ",\"sysid\":" + std::to_string(p.header.systemId) +
                          ",\"compid\":" + std::to_string(p.header.componentId) +
                          ",\"length\":" + std::to_string(p.length) + ",\"fields\":" + fieldsOf(p) +
                          "}";
            });
        std::cout << "{\"frames\":[" << frames << "],\"signed\":" << counts.signedFrames
                  << ",\"badChecksums\":" << counts.badChecksums << "}" << std::endl;
    }
    return 0;
}

template <class Message>
void print(const Message& m, uint8_t sequence) {
    std::vector<uint8_t> frame;
    appendMessage(frame, {sequence, 7, 100, 0}, m);
    std::cout << "{\"msgid\":" << Message::kId << ",\"hex\":\"" << hex(frame)
              << "\",\"fields\":" << fields(m) << "}\n";
}

int encodeSamples() {
    Heartbeat heartbeat;
    heartbeat.type = MAV_TYPE_CAMERA;
    heartbeat.autopilot = MAV_AUTOPILOT_INVALID;
    heartbeat.systemStatus = MAV_STATE_ACTIVE;
    print(heartbeat, 0);
    CommandAck ack;
    ack.command = MAV_CMD_CAMERA_TRACK_RECTANGLE;
    ack.result = MAV_RESULT_DENIED;
    ack.resultParam2 = -123456;
    ack.targetSystem = 255;
    ack.targetComponent = 190;
    print(ack, 1);
    CommandLong configure;
    configure.command = MAV_CMD_DO_GIMBAL_MANAGER_CONFIGURE;
    configure.param = {7, 100, -1, -1, 0, 0, 154};
    configure.targetSystem = 7;
    configure.targetComponent = 1;
    print(configure, 2);
    CameraInformation info;
    info.timeBootMs = 123456789;
    info.flags = CAMERA_CAP_FLAGS_HAS_TRACKING_POINT | CAMERA_CAP_FLAGS_HAS_TRACKING_RECTANGLE;
    info.resolutionH = 640;
    info.resolutionV = 480;
    info.vendorName = "zok";
    info.modelName = "zok-mavlink";
    info.gimbalDeviceId = 154;
    print(info, 3);
    CameraTrackingImageStatus status;
    status.pointX = status.pointY = status.radius = std::nanf("");
    status.recTopX = 0.125f;
    status.recTopY = 0.25f;
    status.recBottomX = 0.5f;
    status.recBottomY = 0.75f;
    status.trackingStatus = CAMERA_TRACKING_STATUS_FLAGS_ACTIVE;
    status.trackingMode = CAMERA_TRACKING_MODE_RECTANGLE;
    status.targetData = CAMERA_TRACKING_TARGET_DATA_IN_STATUS;
    print(status, 4);
    GimbalManagerSetPitchyaw steer;
    steer.pitch = steer.yaw = std::nanf("");
    steer.pitchRate = -0.0625f;
    steer.yawRate = 0.375f;
    steer.targetSystem = 7;
    steer.targetComponent = 1;
    steer.gimbalDeviceId = 154;
    print(steer, 5);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "decode") {
        return decodeLines();
    }
    if (mode == "encode") {
        return encodeSamples();
    }
    std::cerr << "usage: mavlink_hex decode|encode\n";
    return 2;
}
