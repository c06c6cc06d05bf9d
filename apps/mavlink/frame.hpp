#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zok_mavlink {

// MAVLink 2 framing: a 10-byte header (magic 0xFD, payload length, incompatibility and
// compatibility flags, sequence number, system id, component id, 24-bit message id), the
// payload with its trailing zero bytes cut off, a CRC-16/MCRF4XX over everything after the
// magic followed by the message's CRC extra, and, when the signed flag is set, a 13-byte
// signature.
inline constexpr uint8_t kMagic = 0xFD;
inline constexpr size_t kHeaderSize = 10;
inline constexpr size_t kChecksumSize = 2;
inline constexpr size_t kSignatureSize = 13;
inline constexpr size_t kMaxPayload = 255;
inline constexpr size_t kMaxFrameSize = kHeaderSize + kMaxPayload + kChecksumSize + kSignatureSize;
inline constexpr uint8_t kIncompatSigned = 0x01;

struct Header {
    uint8_t sequence = 0;
    uint8_t systemId = 0;
    uint8_t componentId = 0;
    uint32_t messageId = 0; // 24 bits
};

// A frame as read: its payload zero-extended to the full 255 bytes, so that a message decodes
// the same whether its sender cut trailing zeros or not.
struct Packet {
    Header header;
    uint8_t length = 0; // the payload bytes that were on the wire
    bool signedFrame = false;
    std::array<uint8_t, kMaxPayload> payload{};
};

// CRC-16/MCRF4XX (the X.25 CRC as MAVLink uses it: polynomial 0x1021 reflected, initial value
// 0xFFFF, no final XOR), continued from `crc`.
uint16_t crc16(const uint8_t* data, size_t size, uint16_t crc = 0xFFFF);

// Appends one unsigned frame carrying `payload` to `out`. Trailing zero bytes of the payload are
// not sent, though one byte always is. `size` above kMaxPayload is a programming error
// (std::invalid_argument), as is a message id beyond 24 bits.
void appendFrame(std::vector<uint8_t>& out, const Header& header, const uint8_t* payload,
                 size_t size, uint8_t crcExtra);

// What became of the bytes at the start of a buffer.
enum class FrameStatus {
    Ok,           // a frame with a valid checksum; `consumed` bytes taken
    NotMavlink2,  // the first byte is not the magic
    Truncated,    // the buffer ends inside the frame
    UnknownFlags, // incompatibility flags this reader does not know: the length is unknown
    UnknownId,    // a message without a known CRC extra: its checksum cannot be checked
    BadChecksum,
};

// The CRC extra of a message id, or nothing for a message this reader does not know.
using CrcExtraLookup = std::optional<uint8_t> (*)(uint32_t messageId);

// Reads the frame at the start of `data`. On Ok fills `packet` and sets `consumed`; for
// UnknownId it still sets `consumed` to the frame's extent, so that the caller may step over
// it. Reads no byte outside data[0, size).
FrameStatus readFrame(const uint8_t* data, size_t size, CrcExtraLookup crcExtra, Packet& packet,
                      size_t& consumed);

} // namespace zok_mavlink
