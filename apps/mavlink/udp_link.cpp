#include "udp_link.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zok_mavlink {

namespace {

// A listening link answers this many peers at most; the oldest is forgotten first.
constexpr size_t kMaxPeers = 8;
constexpr size_t kMaxDatagram = 65536;

sockaddr_in resolve(const std::string& host, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (host.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return address;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (error != 0 || found == nullptr) {
        throw LinkError("cannot resolve '" + host + "': " + gai_strerror(error));
    }
    address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

bool samePeer(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

class UdpLinkImpl final : public UdpLink {
public:
    explicit UdpLinkImpl(const ConnectionUrl& url) : listen_(url.listen), buffer_(kMaxDatagram) {
        const sockaddr_in address = resolve(url.host, url.port);
        socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (socket_ < 0) {
            throw LinkError(std::string("cannot open a UDP socket: ") + std::strerror(errno));
        }
        if (listen_) {
            if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
                const std::string reason = std::strerror(errno);
                ::close(socket_);
                throw LinkError("cannot listen on " + (url.host.empty() ? "*" : url.host) + ":" +
                                std::to_string(url.port) + ": " + reason);
            }
        } else {
            peers_.push_back(address);
        }
        sockaddr_in local{};
        socklen_t size = sizeof local;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size);
        localPort_ = ntohs(local.sin_port);
    }

    ~UdpLinkImpl() override { ::close(socket_); }

    void send(const std::vector<uint8_t>& datagram) override {
        for (const sockaddr_in& peer : peers_) {
            // MSG_DONTWAIT: a full send buffer drops the datagram rather than stall the video.
            ::sendto(socket_, datagram.data(), datagram.size(), MSG_DONTWAIT,
                     reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        }
    }

    const std::vector<uint8_t>& receive(int timeoutMs) override {
        received_.clear();
        pollfd ready{socket_, POLLIN, 0};
        if (::poll(&ready, 1, std::max(timeoutMs, 0)) <= 0) {
            return received_;
        }
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = ::recvfrom(socket_, buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &size);
        if (n <= 0) {
            return received_;
        }
        received_.assign(buffer_.begin(), buffer_.begin() + n);
        if (listen_ && std::none_of(peers_.begin(), peers_.end(),
                                    [&](const sockaddr_in& p) { return samePeer(p, from); })) {
            if (peers_.size() == kMaxPeers) {
                peers_.erase(peers_.begin());
            }
            peers_.push_back(from);
        }
        return received_;
    }

    uint16_t localPort() const override { return localPort_; }

private:
    bool listen_;
    int socket_ = -1;
    uint16_t localPort_ = 0;
    std::vector<sockaddr_in> peers_;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> received_;
};

} // namespace

ConnectionUrl parseConnectionUrl(const std::string& url) {
    const auto bad = [&](const std::string& why) {
        return LinkError("invalid MAVLink URL '" + url + "': " + why +
                         " (udp://[HOST]:PORT or udpout://HOST:PORT is expected)");
    };
    ConnectionUrl parsed;
    std::string rest;
    if (url.rfind("udp://", 0) == 0) {
        parsed.listen = true;
        rest = url.substr(6);
    } else if (url.rfind("udpout://", 0) == 0) {
        rest = url.substr(9);
    } else {
        throw bad("unknown scheme");
    }
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
        throw bad("no port");
    }
    parsed.host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); }) ||
        std::stoi(port) < (parsed.listen ? 0 : 1) || std::stoi(port) > 65535) {
        throw bad("the port must be a number from 1 to 65535");
    }
    parsed.port = uint16_t(std::stoi(port));
    if (!parsed.listen && parsed.host.empty()) {
        throw bad("udpout needs a host");
    }
    if (parsed.listen && parsed.host == "0.0.0.0") {
        parsed.host.clear();
    }
    return parsed;
}

std::unique_ptr<UdpLink> UdpLink::open(const ConnectionUrl& url) {
    return std::make_unique<UdpLinkImpl>(url);
}

} // namespace zok_mavlink
