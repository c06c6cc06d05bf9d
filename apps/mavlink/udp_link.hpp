#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zok_mavlink {

struct LinkError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A MAVLink connection string as MAVSDK writes them:
//   udp://[HOST]:PORT     listen on HOST (all interfaces when empty) and PORT, and answer
//                         whoever sends; port 0 takes a free one
//   udpout://HOST:PORT    send to HOST:PORT (a router or an autopilot) and take its replies on
//                         the same socket
struct ConnectionUrl {
    bool listen = false;
    std::string host; // an IPv4 address or a name; empty only when listening
    uint16_t port = 0;
};

// Throws LinkError with a message for the user for anything else.
ConnectionUrl parseConnectionUrl(const std::string& url);

// One UDP socket over POSIX.
class UdpLink {
public:
    virtual ~UdpLink() = default;

    // Sends one datagram: to the fixed peer (udpout), or to every peer heard from so far
    // (udp; nobody before the first datagram arrives). A failed send is dropped: datagrams
    // may be lost anyway.
    virtual void send(const std::vector<uint8_t>& datagram) = 0;

    // Waits up to `timeoutMs` for a datagram and returns its bytes (empty when none came).
    // A datagram beyond 65507 bytes is cut by the socket.
    virtual const std::vector<uint8_t>& receive(int timeoutMs) = 0;

    // The local port the socket is bound to.
    virtual uint16_t localPort() const = 0;

    // Throws LinkError when the address cannot be resolved or the socket not bound.
    static std::unique_ptr<UdpLink> open(const ConnectionUrl& url);
};

} // namespace zok_mavlink
