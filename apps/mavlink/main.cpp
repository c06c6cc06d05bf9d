// zok-mavlink: a MAVLink 2 tracking camera that steers the gimbal.
#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core/utils/logger.hpp>

#include "camera_run.hpp"
#include "frame_source.hpp"
#include "pending_file.hpp"
#include "tool_config.hpp"

namespace {

// As zok-track's where the meanings match; 8 is this program's own.
enum ExitCode {
    kDone = 0,
    kOtherError = 1,
    kUsage = 2,
    kInput = 3,
    kConfig = 5,
    kEndedEarly = 6,
    kOutput = 7,
    kLink = 8,
};

std::atomic<bool> stopRequested{false};

void requestStop(int) {
    stopRequested = true;
}

int error(ExitCode code, const std::string& message) {
    std::cerr << "zok-mavlink: error: " << message << '\n';
    return code;
}

} // namespace

int main(int argc, char** argv) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    zok_mavlink::Options options;
    try {
        options = zok_mavlink::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const zok_track::UsageError& e) {
        error(kUsage, e.what());
        std::cerr << zok_mavlink::usage();
        return kUsage;
    }
    if (options.help) {
        std::cout << zok_mavlink::usage();
        return kDone;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    try {
        if (const std::optional<std::string> failure =
                zok_mavlink::runCamera(options, stopRequested)) {
            return error(kEndedEarly, *failure);
        }
        return kDone;
    } catch (const zok_track::InputError& e) {
        return error(kInput, e.what());
    } catch (const zok_track::ConfigError& e) {
        return error(kConfig, e.what());
    } catch (const zok_track::OutputError& e) {
        return error(kOutput, e.what());
    } catch (const zok_mavlink::LinkError& e) {
        return error(kLink, e.what());
    } catch (const cv::Exception& e) {
        return error(kOtherError, std::string("OpenCV: ") + e.what());
    } catch (const std::exception& e) {
        return error(kOtherError, e.what());
    }
}
