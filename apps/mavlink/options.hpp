#pragma once

#include <string>
#include <vector>

#include "arguments.hpp"
#include "camera_component.hpp"
#include "chosen_tracker.hpp"
#include "result_writer.hpp"
#include "udp_link.hpp"
#include "zok/gimbal_controller.hpp"

namespace zok_mavlink {

inline const char* const kDefaultUrl = "udpout://127.0.0.1:14550";

struct Options {
    std::string input;     // as zok-track reads it, or a GStreamer pipeline description
    bool pipeline = false; // `input` is a pipeline (--gst, or an INPUT with '!' in it)
    ConnectionUrl link = parseConnectionUrl(kDefaultUrl);
    CameraComponent::Params camera;
    wyr::zok::GimbalController::Params gimbal;
    zok_track::TrackerKind tracker = zok_track::kDefaultTracker;
    std::string configPath;
    std::string output; // per-frame results while tracking; none when empty, "-" standard output
    zok_track::Format format = zok_track::Format::Csv;
    bool loop = false;
    double fps = 25.0; // the pace of inputs that state no frame rate
    bool help = false;
};

// Reads the command line; throws zok_track::UsageError with a message for the user.
Options parseOptions(const std::vector<std::string>& arguments);

std::string usage();

} // namespace zok_mavlink
