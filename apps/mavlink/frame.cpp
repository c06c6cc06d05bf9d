#include "frame.hpp"

#include <algorithm>
#include <stdexcept>

namespace zok_mavlink {

uint16_t crc16(const uint8_t* data, size_t size, uint16_t crc) {
    for (size_t i = 0; i < size; ++i) {
        uint8_t t = data[i] ^ uint8_t(crc & 0xFF);
        t ^= uint8_t(t << 4);
        crc = uint16_t((crc >> 8) ^ (t << 8) ^ (t << 3) ^ (t >> 4));
    }
    return crc;
}

void appendFrame(std::vector<uint8_t>& out, const Header& header, const uint8_t* payload,
                 size_t size, uint8_t crcExtra) {
    if (size > kMaxPayload || header.messageId > 0xFFFFFF) {
        throw std::invalid_argument("MAVLink frame: payload over 255 bytes or id over 24 bits");
    }
    size_t sent = size;
    while (sent > 1 && payload[sent - 1] == 0) {
        --sent;
    }
    const size_t start = out.size();
    out.push_back(kMagic);
    out.push_back(uint8_t(sent));
    out.push_back(0); // incompatibility flags: never signed
    out.push_back(0); // compatibility flags
    out.push_back(header.sequence);
    out.push_back(header.systemId);
    out.push_back(header.componentId);
    out.push_back(uint8_t(header.messageId));
    out.push_back(uint8_t(header.messageId >> 8));
    out.push_back(uint8_t(header.messageId >> 16));
    if (size == 0) {
        out.push_back(0); // a zero-length payload is sent as one zero byte
    } else {
        out.insert(out.end(), payload, payload + sent);
    }
    uint16_t crc = crc16(out.data() + start + 1, out.size() - start - 1);
    crc = crc16(&crcExtra, 1, crc);
    out.push_back(uint8_t(crc));
    out.push_back(uint8_t(crc >> 8));
}

FrameStatus readFrame(const uint8_t* data, size_t size, CrcExtraLookup crcExtra, Packet& packet,
                      size_t& consumed) {
    consumed = 0;
    if (size == 0 || data[0] != kMagic) {
        return size == 0 ? FrameStatus::Truncated : FrameStatus::NotMavlink2;
    }
    if (size < kHeaderSize) {
        return FrameStatus::Truncated;
    }
    const uint8_t length = data[1];
    const uint8_t incompat = data[2];
    if ((incompat & ~kIncompatSigned) != 0) {
        return FrameStatus::UnknownFlags;
    }
    const bool isSigned = (incompat & kIncompatSigned) != 0;
    const size_t extent = kHeaderSize + length + kChecksumSize + (isSigned ? kSignatureSize : 0);
    if (size < extent) {
        return FrameStatus::Truncated;
    }
    const uint32_t id = uint32_t(data[7]) | uint32_t(data[8]) << 8 | uint32_t(data[9]) << 16;
    const std::optional<uint8_t> extra = crcExtra(id);
    if (!extra) {
        consumed = extent;
        return FrameStatus::UnknownId;
    }
    uint16_t crc = crc16(data + 1, kHeaderSize - 1 + length);
    crc = crc16(&*extra, 1, crc);
    const size_t at = kHeaderSize + length;
    if ((uint16_t(data[at]) | uint16_t(data[at + 1]) << 8) != crc) {
        return FrameStatus::BadChecksum;
    }
    packet.header.sequence = data[4];
    packet.header.systemId = data[5];
    packet.header.componentId = data[6];
    packet.header.messageId = id;
    packet.length = length;
    packet.signedFrame = isSigned;
    std::copy(data + kHeaderSize, data + kHeaderSize + length, packet.payload.begin());
    std::fill(packet.payload.begin() + length, packet.payload.end(), uint8_t(0));
    consumed = extent;
    return FrameStatus::Ok;
}

} // namespace zok_mavlink
