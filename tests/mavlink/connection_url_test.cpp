#include <gtest/gtest.h>

#include "mavlink/udp_link.hpp"

namespace zok_mavlink {
namespace {

struct UrlCase {
    const char* url;
    bool valid;
    bool listen;
    const char* host;
    uint16_t port;
};

class ConnectionUrls : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ConnectionUrls, ParseAsMavsdkWritesThem) {
    const UrlCase& c = GetParam();
    if (!c.valid) {
        EXPECT_THROW(parseConnectionUrl(c.url), LinkError) << c.url;
        return;
    }
    const ConnectionUrl url = parseConnectionUrl(c.url);
    EXPECT_EQ(url.listen, c.listen);
    EXPECT_EQ(url.host, c.host);
    EXPECT_EQ(url.port, c.port);
}

INSTANTIATE_TEST_SUITE_P(
    UdpLink, ConnectionUrls,
    ::testing::Values(UrlCase{"udpout://127.0.0.1:14550", true, false, "127.0.0.1", 14550},
                      UrlCase{"udp://:14540", true, true, "", 14540},
                      UrlCase{"udp://0.0.0.0:14540", true, true, "", 14540},
                      UrlCase{"udp://127.0.0.1:1", true, true, "127.0.0.1", 1},
                      UrlCase{"udpout://:14550", false, false, "", 0},
                      UrlCase{"udp://127.0.0.1:0", true, true, "127.0.0.1", 0},
                      UrlCase{"udpout://127.0.0.1:0", false, false, "", 0},
                      UrlCase{"udp://127.0.0.1:65536", false, false, "", 0},
                      UrlCase{"udp://127.0.0.1:99999999999", false, false, "", 0},
                      UrlCase{"udp://127.0.0.1:-5", false, false, "", 0},
                      UrlCase{"udp://127.0.0.1", false, false, "", 0},
                      UrlCase{"tcp://127.0.0.1:5760", false, false, "", 0},
                      UrlCase{"serial:///dev/ttyS0:57600", false, false, "", 0}));

TEST(UdpLink, ListensSendsAndAnswersOnLoopback) {
    const std::unique_ptr<UdpLink> camera = UdpLink::open(parseConnectionUrl("udp://127.0.0.1:0"));
    ASSERT_GT(camera->localPort(), 0);
    camera->send({1, 2, 3}); // nobody heard from yet: goes nowhere
    const std::unique_ptr<UdpLink> station = UdpLink::open(
        parseConnectionUrl("udpout://127.0.0.1:" + std::to_string(camera->localPort())));
    station->send({4, 5});
    EXPECT_EQ(camera->receive(2000), std::vector<uint8_t>({4, 5}));
    camera->send({6});
    EXPECT_EQ(station->receive(2000), std::vector<uint8_t>({6}));
    EXPECT_TRUE(station->receive(0).empty());
}

} // namespace
} // namespace zok_mavlink
