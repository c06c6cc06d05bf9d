#include "parser.hpp"

#include <algorithm>

#include "messages.hpp"

namespace zok_mavlink {

ParseCounts parseDatagram(const uint8_t* data, size_t size,
                          const std::function<void(const Packet&)>& onPacket) {
    ParseCounts counts;
    Packet packet;
    size_t at = 0;
    while (at < size) {
        size_t consumed = 0;
        switch (readFrame(data + at, size - at, crcExtra, packet, consumed)) {
        case FrameStatus::Ok:
            at += consumed;
            if (packet.signedFrame) {
                ++counts.signedFrames;
            } else {
                ++counts.frames;
                onPacket(packet);
            }
            continue;
        case FrameStatus::UnknownId:
            ++counts.unknownIds;
            at += consumed;
            continue;
        case FrameStatus::BadChecksum:
            ++counts.badChecksums;
            break;
        case FrameStatus::NotMavlink2:
            break;
        case FrameStatus::Truncated:
            // A datagram carries whole frames, so this magic byte may well be noise.
            counts.truncated = true;
            break;
        case FrameStatus::UnknownFlags:
            counts.unknownFlags = true;
            break;
        }
        // Not a frame here: resume at the next magic byte.
        const uint8_t* next = std::find(data + at + 1, data + size, kMagic);
        counts.skippedBytes += size_t(next - (data + at));
        at = size_t(next - data);
    }
    return counts;
}

} // namespace zok_mavlink
