#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "frame.hpp"

namespace zok_mavlink {

// What a datagram held besides its good frames, for diagnostics and tests.
struct ParseCounts {
    size_t frames = 0;       // frames handed on
    size_t signedFrames = 0; // signed frames, stepped over: this component holds no key
    size_t unknownIds = 0;   // frames of messages this component does not know
    size_t badChecksums = 0;
    size_t skippedBytes = 0;   // bytes that start no frame (MAVLink 1, noise)
    bool truncated = false;    // a magic byte whose frame would end past the datagram
    bool unknownFlags = false; // a magic byte with incompatibility flags this reader lacks
};

// Hands each valid, unsigned MAVLink 2 frame of a known message in `datagram` to `onPacket`, in
// order. A datagram may hold several frames; bytes that start no valid frame (noise, MAVLink 1,
// a frame cut short, unknown incompatibility flags) are stepped over to the next magic byte, so
// that a frame after them is still found. Never reads outside the datagram
// and allocates nothing: the packet lives on the stack, bounded by the 255-byte payload.
ParseCounts parseDatagram(const uint8_t* data, size_t size,
                          const std::function<void(const Packet&)>& onPacket);

} // namespace zok_mavlink
