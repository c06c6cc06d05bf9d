// Datagrams from anyone on the network, through zok-mavlink's parser and camera component: no
// input may crash them, read outside the datagram or make them allocate without bound. The
// first byte picks the time step, so that the component's timers run as well.
#include <cstddef>
#include <cstdint>

#include "mavlink/camera_component.hpp"
#include "mavlink/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t frames = 0;
    zok_mavlink::parseDatagram(data, size, [&](const zok_mavlink::Packet&) { ++frames; });

    size_t sent = 0;
    const auto camera = zok_mavlink::CameraComponent::create(
        {}, [&](const std::vector<uint8_t>& datagram) { sent += datagram.size(); });
    double now = 0.0;
    // The same bytes as one datagram and as two, split where the first byte says.
    const size_t split = size > 0 ? data[0] % (size + 1) : 0;
    camera->receive(data, size, now);
    camera->tick(now += 0.5);
    camera->receive(data, split, now);
    camera->receive(data + split, size - split, now);
    zok_mavlink::TrackReport report;
    report.state = zok_mavlink::TrackReport::State::Tracking;
    report.frameWidth = 640;
    report.frameHeight = 480;
    camera->report(report, now += 0.04);
    camera->tick(now += 1.0);
    while (camera->takeRequest()) {
    }
    camera->stop(now);
    return 0;
}
