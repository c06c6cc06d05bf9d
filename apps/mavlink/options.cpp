#include "options.hpp"

#include <filesystem>

namespace zok_mavlink {

using zok_track::parseInteger;
using zok_track::parseNumber;
using zok_track::UsageError;

std::string usage() {
    const wyr::zok::GimbalController::Params g;
    const auto number = [](double v) {
        std::string text = std::to_string(v);
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
        return text;
    };
    return std::string(R"(Usage: zok-mavlink INPUT [--mavlink URL] [options]
       zok-mavlink --gst PIPELINE [--mavlink URL] [options]

A MAVLink 2 tracking camera: follows the target the ground station marks on the video (a
rectangle or a point), reports it as CAMERA_TRACKING_IMAGE_STATUS, and steers the gimbal towards
it with pitch and yaw rates through the gimbal manager (GIMBAL_MANAGER_SET_PITCHYAW), after
taking control of the gimbal; it hands the gimbal back when tracking stops.

INPUT is a video file, a camera index (0, 1, ...), a folder of numbered images, "synthetic" (a
generated scene), or a GStreamer pipeline description ending in appsink (any INPUT with a '!'
that is no file). Files, folders and "synthetic" are played at their frame rate.

Link:
  --mavlink URL            udpout://HOST:PORT sends to a router or autopilot and takes its
                           replies on the same socket; udp://[HOST]:PORT listens and answers
                           whoever sends (default )") +
           std::string(kDefaultUrl) + R"()
  --system-id N            this component's system id: the vehicle's (default 1)
  --component-id N         this component's id (default 100, MAV_COMP_ID_CAMERA)
  --gimbal-system N        the gimbal manager's system id (default: --system-id)
  --gimbal-component N     the gimbal manager's component id (default 1, the autopilot)
  --gimbal-device N        the gimbal device id, 0 for all of the manager's (default 0)

Video:
  --gst PIPELINE           a GStreamer pipeline description as the input
  --loop                   start a file, folder or "synthetic" again at its end
  --fps N                  the pace of a folder, which states no frame rate (default 25)

Tracker:
  --tracker corr|dcf       which tracker follows the target (default )" +
           zok_track::trackerName(zok_track::kDefaultTracker) + R"()
  --config FILE.json       the trackers' parameters from a configuration file, as zok-track

Gimbal control (pan and tilt rates from the target's offset from the image centre):
  --hfov DEG               the camera's horizontal field of view (default )" +
           number(g.horizontalFov) + R"(, 1 to 170)
  --vfov DEG               its vertical one; 0 derives it from the frame (default 0)
  --gain P                 rate per degree of error, 1/s (default )" +
           number(g.proportionalGain) + R"()
  --integral-gain I        rate per degree-second of error, 1/s^2 (default )" +
           number(g.integralGain) + R"()
  --max-rate DEG/S         the largest rate on either axis (default )" +
           number(g.maxRate) + R"()
  --dead-band DEG          errors within this angle command nothing (default )" +
           number(g.deadBand) + R"()

Output:
  --output FILE            one line per frame while tracking ("-": standard output), with
                           zok-track's columns: frame, found, box, centre offset, scores
  --format csv|jsonl       CSV with a header line (default), or JSON lines
  -h, --help               this text

Exit codes: 0 the input ended (or SIGINT/SIGTERM), 1 other error, 2 bad arguments, 3 input
missing or unreadable, 5 bad configuration file, 6 input failed while playing, 7 output not
writable, 8 MAVLink link cannot be opened.
)";
}

namespace {

uint8_t parseId(const std::string& flag, const std::string& text, long long low) {
    return uint8_t(parseInteger(flag, text, low, 255));
}

bool looksLikePipeline(const std::string& input) {
    std::error_code error;
    return input.find('!') != std::string::npos && !std::filesystem::exists(input, error);
}

} // namespace

Options parseOptions(const std::vector<std::string>& arguments) {
    Options o;
    bool gimbalSystemGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) {
                throw UsageError("missing value for " + a);
            }
            return arguments[++i];
        };
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--mavlink") {
            try {
                o.link = parseConnectionUrl(value());
            } catch (const LinkError& e) {
                throw UsageError(e.what());
            }
        } else if (a == "--system-id") {
            o.camera.systemId = parseId(a, value(), 1);
        } else if (a == "--component-id") {
            o.camera.componentId = parseId(a, value(), 1);
        } else if (a == "--gimbal-system") {
            o.camera.gimbalSystem = parseId(a, value(), 1);
            gimbalSystemGiven = true;
        } else if (a == "--gimbal-component") {
            o.camera.gimbalComponent = parseId(a, value(), 1);
        } else if (a == "--gimbal-device") {
            o.camera.gimbalDevice = parseId(a, value(), 0);
        } else if (a == "--gst") {
            if (!o.input.empty()) {
                throw UsageError("more than one input given");
            }
            o.input = value();
            o.pipeline = true;
        } else if (a == "--loop") {
            o.loop = true;
        } else if (a == "--fps") {
            o.fps = parseNumber(a, value());
            if (o.fps <= 0.0 || o.fps > 1000.0) {
                throw UsageError("invalid value for --fps: a rate above 0 and up to 1000");
            }
        } else if (a == "--tracker") {
            const std::string& kind = value();
            if (kind != "corr" && kind != "dcf") {
                throw UsageError("invalid value for --tracker: '" + kind + "' (corr or dcf)");
            }
            o.tracker = kind == "dcf" ? zok_track::TrackerKind::Dcf : zok_track::TrackerKind::Corr;
        } else if (a == "--config") {
            o.configPath = value();
        } else if (a == "--hfov") {
            o.gimbal.horizontalFov = parseNumber(a, value());
        } else if (a == "--vfov") {
            o.gimbal.verticalFov = parseNumber(a, value());
        } else if (a == "--gain") {
            o.gimbal.proportionalGain = parseNumber(a, value());
        } else if (a == "--integral-gain") {
            o.gimbal.integralGain = parseNumber(a, value());
        } else if (a == "--max-rate") {
            o.gimbal.maxRate = parseNumber(a, value());
        } else if (a == "--dead-band") {
            o.gimbal.deadBand = parseNumber(a, value());
        } else if (a == "--output") {
            o.output = value();
        } else if (a == "--format") {
            const std::string& format = value();
            if (format != "csv" && format != "jsonl") {
                throw UsageError("invalid value for --format: '" + format + "' (csv or jsonl)");
            }
            o.format = format == "csv" ? zok_track::Format::Csv : zok_track::Format::JsonLines;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else if (!o.input.empty()) {
            throw UsageError("more than one input given: '" + o.input + "' and '" + a + "'");
        } else {
            o.input = a;
            o.pipeline = looksLikePipeline(a);
        }
    }
    if (o.help) {
        return o;
    }
    if (o.input.empty()) {
        throw UsageError("no input given");
    }
    if (!gimbalSystemGiven) {
        o.camera.gimbalSystem = o.camera.systemId;
    }
    return o;
}

} // namespace zok_mavlink
