#include "messages.hpp"

#include <algorithm>
#include <cstring>

namespace zok_mavlink {

namespace {

// Little-endian field writer and reader over a payload buffer; MAVLink is little-endian on the
// wire whatever the host is.
class Writer {
public:
    explicit Writer(uint8_t* out) : out_(out) {}
    Writer& u8(uint8_t v) {
        out_[at_++] = v;
        return *this;
    }
    Writer& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
    Writer& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    Writer& i32(int32_t v) { return u32(uint32_t(v)); }
    Writer& f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return u32(bits);
    }
    // A fixed-size text field: cut to `size` bytes, the rest zero (no terminator when full).
    Writer& text(const std::string& v, size_t size) {
        const size_t n = std::min(v.size(), size);
        std::memcpy(out_ + at_, v.data(), n);
        std::memset(out_ + at_ + n, 0, size - n);
        at_ += size;
        return *this;
    }

private:
    uint8_t* out_;
    size_t at_ = 0;
};

class Reader {
public:
    explicit Reader(const Packet& p) : in_(p.payload.data()) {}
    uint8_t u8() { return in_[at_++]; }
    uint16_t u16() {
        const uint16_t low = u8();
        return uint16_t(low | uint16_t(u8()) << 8);
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | uint32_t(u16()) << 16;
    }
    int32_t i32() { return int32_t(u32()); }
    float f32() {
        const uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string text(size_t size) {
        const char* begin = reinterpret_cast<const char*>(in_ + at_);
        at_ += size;
        return std::string(begin, std::find(begin, begin + size, '\0'));
    }

private:
    const uint8_t* in_;
    size_t at_ = 0;
};

} // namespace

std::optional<uint8_t> crcExtra(uint32_t id) {
    switch (id) {
    case Heartbeat::kId:
        return Heartbeat::kCrcExtra;
    case CommandLong::kId:
        return CommandLong::kCrcExtra;
    case CommandAck::kId:
        return CommandAck::kCrcExtra;
    case CameraInformation::kId:
        return CameraInformation::kCrcExtra;
    case CameraTrackingImageStatus::kId:
        return CameraTrackingImageStatus::kCrcExtra;
    case GimbalManagerSetPitchyaw::kId:
        return GimbalManagerSetPitchyaw::kCrcExtra;
    default:
        return std::nullopt;
    }
}

// Fields go in wire order: by size, largest first, extensions last.

void encode(const Heartbeat& m, uint8_t* p) {
    Writer(p)
        .u32(m.customMode)
        .u8(m.type)
        .u8(m.autopilot)
        .u8(m.baseMode)
        .u8(m.systemStatus)
        .u8(m.mavlinkVersion);
}

void decode(const Packet& p, Heartbeat& m) {
    Reader r(p);
    m.customMode = r.u32();
    m.type = r.u8();
    m.autopilot = r.u8();
    m.baseMode = r.u8();
    m.systemStatus = r.u8();
    m.mavlinkVersion = r.u8();
}

void encode(const CommandLong& m, uint8_t* p) {
    Writer w(p);
    for (float param : m.param) {
        w.f32(param);
    }
    w.u16(m.command).u8(m.targetSystem).u8(m.targetComponent).u8(m.confirmation);
}

void decode(const Packet& p, CommandLong& m) {
    Reader r(p);
    for (float& param : m.param) {
        param = r.f32();
    }
    m.command = r.u16();
    m.targetSystem = r.u8();
    m.targetComponent = r.u8();
    m.confirmation = r.u8();
}

void encode(const CommandAck& m, uint8_t* p) {
    Writer(p)
        .u16(m.command)
        .u8(m.result)
        .u8(m.progress)
        .i32(m.resultParam2)
        .u8(m.targetSystem)
        .u8(m.targetComponent);
}

void decode(const Packet& p, CommandAck& m) {
    Reader r(p);
    m.command = r.u16();
    m.result = r.u8();
    m.progress = r.u8();
    m.resultParam2 = r.i32();
    m.targetSystem = r.u8();
    m.targetComponent = r.u8();
}

void encode(const CameraInformation& m, uint8_t* p) {
    Writer(p)
        .u32(m.timeBootMs)
        .u32(m.firmwareVersion)
        .f32(m.focalLength)
        .f32(m.sensorSizeH)
        .f32(m.sensorSizeV)
        .u32(m.flags)
        .u16(m.resolutionH)
        .u16(m.resolutionV)
        .u16(m.camDefinitionVersion)
        .text(m.vendorName, 32)
        .text(m.modelName, 32)
        .u8(m.lensId)
        .text(m.camDefinitionUri, 140)
        .u8(m.gimbalDeviceId)
        .u8(m.cameraDeviceId);
}

void decode(const Packet& p, CameraInformation& m) {
    Reader r(p);
    m.timeBootMs = r.u32();
    m.firmwareVersion = r.u32();
    m.focalLength = r.f32();
    m.sensorSizeH = r.f32();
    m.sensorSizeV = r.f32();
    m.flags = r.u32();
    m.resolutionH = r.u16();
    m.resolutionV = r.u16();
    m.camDefinitionVersion = r.u16();
    m.vendorName = r.text(32);
    m.modelName = r.text(32);
    m.lensId = r.u8();
    m.camDefinitionUri = r.text(140);
    m.gimbalDeviceId = r.u8();
    m.cameraDeviceId = r.u8();
}

void encode(const CameraTrackingImageStatus& m, uint8_t* p) {
    Writer(p)
        .f32(m.pointX)
        .f32(m.pointY)
        .f32(m.radius)
        .f32(m.recTopX)
        .f32(m.recTopY)
        .f32(m.recBottomX)
        .f32(m.recBottomY)
        .u8(m.trackingStatus)
        .u8(m.trackingMode)
        .u8(m.targetData)
        .u8(m.cameraDeviceId);
}

void decode(const Packet& p, CameraTrackingImageStatus& m) {
    Reader r(p);
    m.pointX = r.f32();
    m.pointY = r.f32();
    m.radius = r.f32();
    m.recTopX = r.f32();
    m.recTopY = r.f32();
    m.recBottomX = r.f32();
    m.recBottomY = r.f32();
    m.trackingStatus = r.u8();
    m.trackingMode = r.u8();
    m.targetData = r.u8();
    m.cameraDeviceId = r.u8();
}

void encode(const GimbalManagerSetPitchyaw& m, uint8_t* p) {
    Writer(p)
        .u32(m.flags)
        .f32(m.pitch)
        .f32(m.yaw)
        .f32(m.pitchRate)
        .f32(m.yawRate)
        .u8(m.targetSystem)
        .u8(m.targetComponent)
        .u8(m.gimbalDeviceId);
}

void decode(const Packet& p, GimbalManagerSetPitchyaw& m) {
    Reader r(p);
    m.flags = r.u32();
    m.pitch = r.f32();
    m.yaw = r.f32();
    m.pitchRate = r.f32();
    m.yawRate = r.f32();
    m.targetSystem = r.u8();
    m.targetComponent = r.u8();
    m.gimbalDeviceId = r.u8();
}

} // namespace zok_mavlink
