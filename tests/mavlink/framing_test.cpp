#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "mavlink/messages.hpp"
#include "mavlink/parser.hpp"

namespace zok_mavlink {
namespace {

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<Packet> parseAll(const std::vector<uint8_t>& datagram, ParseCounts* counts = nullptr) {
    std::vector<Packet> packets;
    const ParseCounts c = parseDatagram(datagram.data(), datagram.size(),
                                        [&](const Packet& p) { packets.push_back(p); });
    if (counts) {
        *counts = c;
    }
    return packets;
}

Heartbeat cameraHeartbeat() {
    Heartbeat m;
    m.type = MAV_TYPE_CAMERA;
    m.autopilot = MAV_AUTOPILOT_INVALID;
    m.systemStatus = MAV_STATE_ACTIVE;
    return m;
}

CommandLong trackRectangle() {
    CommandLong m;
    m.param = {0.25f, 0.5f, 0.75f, 1.0f, 0, 0, 0};
    m.command = MAV_CMD_CAMERA_TRACK_RECTANGLE;
    m.targetSystem = 1;
    m.targetComponent = 100;
    return m;
}

// Frames encoded by another MAVLink implementation (node-mavlink 2.3.0), byte for byte.
const char* const kHeartbeatFrame = "fd090000050764000000000000001e08000403fe96";
const char* const kRectangleFrame =
    "fd2000000907644c00000000803e0000003f0000403f0000803f000000000000"
    "000000000000d5070164acc8";

TEST(Crc16, KnownVectors) {
    const std::string check = "123456789";
    EXPECT_EQ(crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x6F91);
    EXPECT_EQ(crc16(nullptr, 0), 0xFFFF);
    // Continuing a CRC over a second part gives the CRC of the whole.
    const uint16_t first = crc16(reinterpret_cast<const uint8_t*>(check.data()), 4);
    EXPECT_EQ(crc16(reinterpret_cast<const uint8_t*>(check.data()) + 4, 5, first), 0x6F91);
}

TEST(Framing, EncodesAsAnotherImplementationDoes) {
    std::vector<uint8_t> out;
    appendMessage(out, {5, 7, 100, 0}, cameraHeartbeat());
    EXPECT_EQ(out, fromHex(kHeartbeatFrame));
    out.clear();
    // The confirmation byte is zero and so not sent: 32 of 33 payload bytes.
    appendMessage(out, {9, 7, 100, 0}, trackRectangle());
    EXPECT_EQ(out, fromHex(kRectangleFrame));
    EXPECT_EQ(out[1], 32);
}

TEST(Framing, DecodesAnotherImplementationsFrames) {
    const std::vector<Packet> packets =
        parseAll(fromHex(std::string(kHeartbeatFrame) + kRectangleFrame));
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].header.messageId, Heartbeat::kId);
    EXPECT_EQ(packets[0].header.sequence, 5);
    EXPECT_EQ(packets[0].header.systemId, 7);
    EXPECT_EQ(packets[0].header.componentId, 100);
    Heartbeat heartbeat;
    decode(packets[0], heartbeat);
    EXPECT_EQ(heartbeat.type, MAV_TYPE_CAMERA);
    EXPECT_EQ(heartbeat.systemStatus, MAV_STATE_ACTIVE);
    EXPECT_EQ(heartbeat.mavlinkVersion, 3);
    CommandLong command;
    decode(packets[1], command);
    EXPECT_EQ(command.command, MAV_CMD_CAMERA_TRACK_RECTANGLE);
    EXPECT_EQ(command.param[0], 0.25f);
    EXPECT_EQ(command.param[3], 1.0f);
    EXPECT_EQ(command.targetComponent, 100);
    EXPECT_EQ(command.confirmation, 0);
}

TEST(Framing, TruncatesTrailingZerosButKeepsOneByte) {
    std::vector<uint8_t> out;
    appendMessage(out, {}, Heartbeat{0, 0, 0, 0, 0, 0});
    EXPECT_EQ(out[1], 1); // an all-zero payload still sends its first byte
    EXPECT_EQ(out.size(), kHeaderSize + 1 + kChecksumSize);
    CameraTrackingImageStatus status;
    status.pointX = 0.5f;
    out.clear();
    appendMessage(out, {}, status);
    EXPECT_EQ(out[1], 4);
    // Zero-extended on receipt: the cut fields read as zero, even after a longer packet.
    parseAll(out); // a packet whose payload is longer must not leak into this one
    const std::vector<Packet> packets = parseAll(out);
    ASSERT_EQ(packets.size(), 1u);
    CameraTrackingImageStatus back;
    back.trackingStatus = 9;
    decode(packets[0], back);
    EXPECT_EQ(back.pointX, 0.5f);
    EXPECT_EQ(back.trackingStatus, 0);
}

TEST(Framing, RoundTripsEveryMessage) {
    std::vector<uint8_t> out;
    CameraInformation info;
    info.vendorName = std::string(40, 'v'); // cut to its 32 bytes
    info.modelName = "zok-mavlink";
    info.flags = CAMERA_CAP_FLAGS_HAS_TRACKING_POINT | CAMERA_CAP_FLAGS_HAS_TRACKING_RECTANGLE;
    info.resolutionH = 1280;
    info.gimbalDeviceId = 154;
    appendMessage(out, {1, 1, 100, 0}, info);
    GimbalManagerSetPitchyaw steer;
    steer.pitch = steer.yaw = std::nanf("");
    steer.pitchRate = -0.25f;
    steer.yawRate = 1.5f;
    steer.targetSystem = 1;
    steer.targetComponent = 1;
    steer.gimbalDeviceId = 154;
    appendMessage(out, {2, 1, 100, 0}, steer);
    CommandAck ack;
    ack.command = MAV_CMD_CAMERA_STOP_TRACKING;
    ack.result = MAV_RESULT_DENIED;
    ack.resultParam2 = -7;
    ack.targetSystem = 255;
    ack.targetComponent = 190;
    appendMessage(out, {3, 1, 100, 0}, ack);

    const std::vector<Packet> packets = parseAll(out);
    ASSERT_EQ(packets.size(), 3u);
    CameraInformation info2;
    decode(packets[0], info2);
    EXPECT_EQ(info2.vendorName, std::string(32, 'v'));
    EXPECT_EQ(info2.modelName, "zok-mavlink");
    EXPECT_EQ(info2.flags, 1536u);
    EXPECT_EQ(info2.resolutionH, 1280);
    EXPECT_EQ(info2.gimbalDeviceId, 154);
    GimbalManagerSetPitchyaw steer2;
    decode(packets[1], steer2);
    EXPECT_TRUE(std::isnan(steer2.pitch) && std::isnan(steer2.yaw));
    EXPECT_EQ(steer2.pitchRate, -0.25f);
    EXPECT_EQ(steer2.yawRate, 1.5f);
    EXPECT_EQ(steer2.gimbalDeviceId, 154);
    CommandAck ack2;
    decode(packets[2], ack2);
    EXPECT_EQ(ack2.command, MAV_CMD_CAMERA_STOP_TRACKING);
    EXPECT_EQ(ack2.result, MAV_RESULT_DENIED);
    EXPECT_EQ(ack2.resultParam2, -7);
    EXPECT_EQ(ack2.targetComponent, 190);
}

// A heartbeat, a faulty stretch, then a good command: the command must survive every fault.
struct DamagedCase {
    const char* name;
    std::vector<uint8_t> (*damage)(std::vector<uint8_t> heartbeat);
    ParseCounts expected; // only the fields checked below
};

std::vector<uint8_t> flipCrc(std::vector<uint8_t> f) {
    f.back() ^= 0x01;
    return f;
}
std::vector<uint8_t> flipPayload(std::vector<uint8_t> f) {
    f[kHeaderSize] ^= 0x80;
    return f;
}
std::vector<uint8_t> mavlink1(std::vector<uint8_t> f) {
    f[0] = 0xFE;
    return f;
}
std::vector<uint8_t> cutShort(std::vector<uint8_t> f) {
    f.resize(f.size() - 3);
    return f;
}
std::vector<uint8_t> unknownFlag(std::vector<uint8_t> f) {
    f[2] = 0x02;
    return f;
}
std::vector<uint8_t> unknownMessage(std::vector<uint8_t> f) {
    f[7] = 0xEE; // message id 238: not one this component knows
    return f;
}
std::vector<uint8_t> signedFrame(std::vector<uint8_t> f) {
    // A signed frame with a valid checksum: the signature follows it.
    f[2] = kIncompatSigned;
    const uint16_t crc = crc16(&Heartbeat::kCrcExtra, 1, crc16(f.data() + 1, f.size() - 3));
    f[f.size() - 2] = uint8_t(crc);
    f[f.size() - 1] = uint8_t(crc >> 8);
    f.insert(f.end(), kSignatureSize, 0xAB);
    return f;
}
std::vector<uint8_t> falseStart(std::vector<uint8_t>) {
    return {kMagic, 255}; // a length that runs past the datagram
}

class DamagedDatagram : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedDatagram, IsSteppedOverAndTheNextFrameRead) {
    std::vector<uint8_t> heartbeat;
    appendMessage(heartbeat, {1, 1, 1, 0}, cameraHeartbeat());
    std::vector<uint8_t> datagram = GetParam().damage(heartbeat);
    std::vector<uint8_t> tail;
    appendMessage(tail, {2, 255, 190, 0}, trackRectangle());
    datagram.insert(datagram.end(), tail.begin(), tail.end());

    ParseCounts counts;
    const std::vector<Packet> packets = parseAll(datagram, &counts);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].header.messageId, CommandLong::kId);
    EXPECT_EQ(packets[0].header.systemId, 255);
    EXPECT_EQ(counts.badChecksums, GetParam().expected.badChecksums);
    EXPECT_EQ(counts.signedFrames, GetParam().expected.signedFrames);
    EXPECT_EQ(counts.unknownIds, GetParam().expected.unknownIds);
}

ParseCounts counted(size_t bad, size_t signedFrames, size_t unknown) {
    ParseCounts c;
    c.badChecksums = bad;
    c.signedFrames = signedFrames;
    c.unknownIds = unknown;
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Framing, DamagedDatagram,
    ::testing::Values(DamagedCase{"BadChecksum", flipCrc, counted(1, 0, 0)},
                      DamagedCase{"CorruptPayload", flipPayload, counted(1, 0, 0)},
                      DamagedCase{"WrongMagic", mavlink1, counted(0, 0, 0)},
                      DamagedCase{"CutShort", cutShort, counted(1, 0, 0)},
                      DamagedCase{"UnknownIncompatFlag", unknownFlag, counted(0, 0, 0)},
                      DamagedCase{"UnknownMessage", unknownMessage, counted(0, 0, 1)},
                      DamagedCase{"Signed", signedFrame, counted(0, 1, 0)},
                      DamagedCase{"FalseStart", falseStart, counted(0, 0, 0)}),
    [](const ::testing::TestParamInfo<DamagedCase>& info) { return info.param.name; });

TEST(Framing, TruncatedAndEmptyDatagramsYieldNothing) {
    std::vector<uint8_t> frame;
    appendMessage(frame, {}, trackRectangle());
    for (size_t size = 0; size < frame.size(); ++size) {
        std::vector<uint8_t> cut(frame.begin(), frame.begin() + long(size));
        ParseCounts counts;
        EXPECT_TRUE(parseAll(cut, &counts).empty()) << size;
        EXPECT_EQ(counts.truncated, size > 0) << size;
    }
}

TEST(Framing, OversizedDatagramOfManyFramesIsReadWhole) {
    std::vector<uint8_t> datagram;
    for (int i = 0; i < 300; ++i) {
        appendMessage(datagram, {uint8_t(i), 1, 1, 0}, cameraHeartbeat());
    }
    datagram.resize(datagram.size() + 40000, kMagic); // then a long run of false starts
    ParseCounts counts;
    const std::vector<Packet> packets = parseAll(datagram, &counts);
    ASSERT_EQ(packets.size(), 300u);
    EXPECT_EQ(packets[299].header.sequence, uint8_t(299));
    EXPECT_TRUE(counts.truncated);
}

TEST(Framing, RefusesWhatCannotBeFramed) {
    std::vector<uint8_t> out;
    const std::vector<uint8_t> payload(256, 1);
    EXPECT_THROW(appendFrame(out, {}, payload.data(), payload.size(), 0), std::invalid_argument);
    EXPECT_THROW(appendFrame(out, {0, 0, 0, 0x1000000}, payload.data(), 1, 0),
                 std::invalid_argument);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace zok_mavlink
