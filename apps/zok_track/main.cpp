// zok-track: follows one target through a video, a camera or a folder of images.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core/utils/logger.hpp>

#include "options.hpp"
#include "pending_file.hpp"
#include "track_run.hpp"
#include "tracker_params.hpp"

namespace {

using namespace zok_track;

enum ExitCode {
    kDone = 0,
    kOtherError = 1,
    kUsage = 2,
    kInput = 3,
    kStart = 4,
    kConfig = 5,
    kEndedEarly = 6,
    kOutput = 7,
};

int error(ExitCode code, const std::string& message) {
    std::cerr << "zok-track: error: " << message << '\n';
    return code;
}

void printSummary(std::ostream& out, const Options& options, const Summary& s) {
    const int updates = s.frames - 1;
    char line[256];
    std::snprintf(line, sizeof line,
                  "frames %d, found %d of %d, lost runs %d (longest %d frames), tracker %.1f "
                  "frames per second, %s engine\n",
                  s.frames, s.found, updates, s.lostRuns, s.longestLostRun,
                  s.trackerSeconds > 0 ? updates / s.trackerSeconds : 0.0, s.engine.c_str());
    out << line;
    if (s.meanError) {
        std::snprintf(line, sizeof line, "mean error against the truth %.3f pixels\n",
                      *s.meanError);
        out << line;
    }
    if (options.output != "-") {
        out << "results: " << std::filesystem::absolute(options.output).string() << '\n';
    }
    if (!options.annotate.empty()) {
        out << "annotated video: " << std::filesystem::absolute(options.annotate).string() << '\n';
    }
}

} // namespace

int main(int argc, char** argv) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        error(kUsage, e.what());
        std::cerr << usage();
        return kUsage;
    }
    if (options.help) {
        std::cout << usage();
        return kDone;
    }
    try {
        if (options.defaultRun) {
            std::cout << "Tracking the default: a face in " << options.input << ", frames "
                      << options.start << " to " << options.start + *options.frames - 1 << "\n";
        }
        const Summary summary = track(options);
        // With results on standard output, the summary stays out of their way.
        printSummary(options.output == "-" ? std::cerr : std::cout, options, summary);
        if (summary.endedEarly) {
            return error(kEndedEarly, *summary.endedEarly);
        }
        return kDone;
    } catch (const InputError& e) {
        return error(kInput, e.what());
    } catch (const StartError& e) {
        return error(kStart, e.what());
    } catch (const ConfigError& e) {
        return error(kConfig, e.what());
    } catch (const OutputError& e) {
        return error(kOutput, e.what());
    } catch (const cv::Exception& e) {
        return error(kOtherError, std::string("OpenCV: ") + e.what());
    } catch (const std::exception& e) {
        return error(kOtherError, e.what());
    }
}
