#include "options.hpp"

#include "arguments.hpp"
#include "frame_source.hpp"
#include "zok/tracker_dcf.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace zok_track {

namespace {

const char* const kDefaultVideo = "/usr/share/doc/opencv-doc/examples/data/Megamind.avi";

[[noreturn]] void fail(const std::string& message) {
    throw UsageError(message);
}

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == ',') {
        parts.emplace_back();
    }
    return parts;
}

std::vector<int> parseIntegers(const std::string& flag, const std::string& text, size_t count) {
    const std::vector<std::string> parts = splitCommas(text);
    if (parts.size() != count) {
        fail("invalid value for " + flag + ": '" + text + "' (" + std::to_string(count) +
             " comma-separated integers are expected)");
    }
    std::vector<int> values;
    for (const std::string& part : parts) {
        values.push_back(int(parseInteger(flag, part, INT_MIN / 4, INT_MAX / 4)));
    }
    return values;
}

// The options that concern the run rather than one tracker's parameters; every other option
// sets a parameter of TrackerCorr.
bool isRunOption(const std::string& argument) {
    static const char* const kRunOptions[] = {
        "--box",      "--offset",      "--half",   "--config", "--library-defaults",
        "--tracker",  "--start",       "--frames", "--output", "--format",
        "--annotate", "--no-progress", "--help",   "-h"};
    return std::find(std::begin(kRunOptions), std::end(kRunOptions), argument) !=
           std::end(kRunOptions);
}

} // namespace

std::string engineName(wyr::zok::TrackerCorr::Engine engine) {
    switch (engine) {
    case wyr::zok::TrackerCorr::Engine::OPENCV:
        return "opencv";
    case wyr::zok::TrackerCorr::Engine::FFT:
        return "fft";
    case wyr::zok::TrackerCorr::Engine::AUTO:
        break;
    }
    return "auto";
}

std::string usage() {
    return R"(Usage: zok-track [INPUT] [options]

Follows one target through a video, by normalised cross-correlation of a template or by a
correlation filter learned online.
Without any argument, tracks a face through a sample video from Debian's opencv-doc and writes
its results to out/zok-track-default/.

INPUT is a video file, a camera index (0, 1, ...), a folder of numbered images, or
"synthetic": a generated sequence whose truth is known (the start box defaults to the truth,
and the summary gives the mean error against it).

Start (one of):
  --box X,Y,W,H            the target's box in the first frame
  --offset DX,DY --half HW,HH
                           the box of (2*HW+1) x (2*HH+1) pixels whose centre lies DX,DY
                           pixels from the image centre

Tracker:
  --tracker corr|dcf       which tracker follows the target (default )" +
           std::string(trackerName(kDefaultTracker)) + R"(): corr correlates a
                           template; dcf learns a correlation filter of the target and its
                           surroundings, follows changes of scale and finds a lost target again
  --config FILE.json       parameters from a configuration file, over the library's defaults:
                           its "TrackerCorr" or "TrackerDcf" section, as --tracker chose
  --library-defaults       start from the library's defaults instead

The corr tracker's parameters start from the recommended configuration
(share/zok/recommended.json), which is built in; flags override it or the configuration file
(they apply to --tracker corr only; dcf takes its parameters from --config):
  --search-radius F        search window half-size in template sizes (recommended 2, min 1.25)
  --alt-radii F[,F...]     wider windows to try after a weak match (recommended 12)
  --threshold T            smallest score that counts as found (recommended 0.5)
  --update-threshold T     matches scoring below T keep the template (recommended 0.88,
                           0 = off)
  --redetect-threshold T   smallest score at which a match of a wider window counts as found
                           (recommended 0.75; the library's default is the --threshold level)
  --zero-mean              score by the zero-mean correlation coefficient (recommended)
  --no-zero-mean           score by plain normalised cross-correlation (the library's default)
  --engine opencv|fft|auto how the correlation is computed (recommended auto, which runs
                           the )" +
           engineName(wyr::zok::TrackerCorr::engineRun(wyr::zok::TrackerCorr::Engine::AUTO)) +
           R"( engine in this build)
  --depth N                templates kept in the history (default 1, max 32)
  --zoom N                 sub-pixel steps per pixel (recommended 10, 1 = off, max 20)
  --mode1d                 search the two axes with separate templates
  --sigma-exp F            centre weighting of the template (default 5 = off)
  --variance T             reject matches on patches with less texture than T

Input range:
  --start N                skip the first N frames
  --frames N               track N frames (the first included); fewer is an error

Output:
  --output FILE            per-frame results (default: standard output)
  --format csv|jsonl       per-frame result format (default csv)
  --annotate FILE.avi|.mp4 write the frames with the box, search window (corr) and offset
                           drawn
  --no-progress            no progress bar on standard error

Exit codes: 0 done, 2 bad arguments, 3 input missing or unreadable, 4 start box outside the
first frame or refused by the tracker (the learned tracker takes boxes of )" +
           std::to_string(wyr::zok::DCF_MIN_TARGET_SIDE) + " x " +
           std::to_string(wyr::zok::DCF_MIN_TARGET_SIDE) + R"( pixels and
more), 5 bad configuration file, 6 input ended early, 7 output not writable, 1 other.
)";
}

Options defaultOptions() {
    Options options;
    options.input = kDefaultVideo;
    // The first scene of the clip: a face that turns and tilts for 97 frames before a cut.
    options.start = 1;
    options.frames = 97;
    options.box = cv::Rect(225, 200, 100, 100);
    if (options.tracker == TrackerKind::Corr) {
        // Heads move a few pixels a frame here: a window of 1.5 template sizes is plenty.
        options.params.searchRadiusFactor = 1.5f;
        // A turning head changes its look between frames by more than the recommended level
        // lets a match renew the template, and nothing hides it here: renew down to 0.8.
        options.params.updateThreshold = 0.8;
    }
    options.outputDir = "out/zok-track-default";
    options.output = options.outputDir + "/track.csv";
    options.annotate = options.outputDir + "/annotated.avi";
    options.defaultRun = true;
    return options;
}

Options parseOptions(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return defaultOptions();
    }
    Options options;
    std::string corrOption; // the first option given that sets a TrackerCorr parameter
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (corrOption.empty() && argument.rfind("--", 0) == 0 && !isRunOption(argument)) {
            corrOption = argument;
        }
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) {
                fail("missing value for " + argument);
            }
            return arguments[++i];
        };
        if (argument == "--box") {
            const std::vector<int> v = parseIntegers(argument, value(), 4);
            if (v[2] <= 0 || v[3] <= 0) {
                fail("invalid value for --box: width and height must be positive");
            }
            options.box = cv::Rect(v[0], v[1], v[2], v[3]);
        } else if (argument == "--offset") {
            const std::vector<int> v = parseIntegers(argument, value(), 2);
            options.offset = cv::Point(v[0], v[1]);
        } else if (argument == "--half") {
            const std::vector<int> v = parseIntegers(argument, value(), 2);
            if (v[0] < 0 || v[1] < 0) {
                fail("invalid value for --half: half-sizes must not be negative");
            }
            options.half = cv::Size(v[0], v[1]);
        } else if (argument == "--tracker") {
            const std::string& tracker = value();
            if (tracker == "corr") {
                options.tracker = TrackerKind::Corr;
            } else if (tracker == "dcf") {
                options.tracker = TrackerKind::Dcf;
            } else {
                fail("invalid value for --tracker: '" + tracker + "' (corr or dcf)");
            }
        } else if (argument == "--config") {
            options.configPath = value();
        } else if (argument == "--search-radius") {
            options.params.searchRadiusFactor = float(parseNumber(argument, value()));
        } else if (argument == "--alt-radii") {
            std::vector<float> factors;
            for (const std::string& part : splitCommas(value())) {
                factors.push_back(float(parseNumber(argument, part)));
            }
            options.params.altSearchRadiiFactors = factors;
        } else if (argument == "--threshold") {
            options.params.threshold = parseNumber(argument, value());
        } else if (argument == "--depth") {
            options.params.depth = parseInteger(argument, value(), 0, 1000000);
        } else if (argument == "--zoom") {
            options.params.zoomFactor = int(parseInteger(argument, value(), 1, 20));
        } else if (argument == "--mode1d") {
            options.params.mode1D = true;
        } else if (argument == "--sigma-exp") {
            options.params.sigmaExp = float(parseNumber(argument, value()));
        } else if (argument == "--variance") {
            options.params.varianceThreshold = parseNumber(argument, value());
        } else if (argument == "--library-defaults") {
            options.libraryDefaults = true;
        } else if (argument == "--update-threshold") {
            options.params.updateThreshold = parseNumber(argument, value());
        } else if (argument == "--redetect-threshold") {
            options.params.redetectThreshold = parseNumber(argument, value());
        } else if (argument == "--zero-mean") {
            options.params.zeroMean = true;
        } else if (argument == "--no-zero-mean") {
            options.params.zeroMean = false;
        } else if (argument == "--engine") {
            const std::string& engine = value();
            if (engine == "opencv") {
                options.params.engine = wyr::zok::TrackerCorr::Engine::OPENCV;
            } else if (engine == "fft") {
                options.params.engine = wyr::zok::TrackerCorr::Engine::FFT;
            } else if (engine == "auto") {
                options.params.engine = wyr::zok::TrackerCorr::Engine::AUTO;
            } else {
                fail("invalid value for --engine: '" + engine + "' (opencv, fft or auto)");
            }
        } else if (argument == "--start") {
            options.start = int(parseInteger(argument, value(), 0, INT_MAX));
        } else if (argument == "--frames") {
            options.frames = int(parseInteger(argument, value(), 1, INT_MAX));
        } else if (argument == "--output") {
            options.output = value();
        } else if (argument == "--format") {
            const std::string& format = value();
            if (format == "csv") {
                options.format = Format::Csv;
            } else if (format == "jsonl") {
                options.format = Format::JsonLines;
            } else {
                fail("invalid value for --format: '" + format + "' (csv or jsonl)");
            }
        } else if (argument == "--annotate") {
            options.annotate = value();
        } else if (argument == "--no-progress") {
            options.progress = false;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
            return options;
        } else if (argument.rfind("--", 0) == 0) {
            fail("unknown option " + argument);
        } else if (options.input.empty()) {
            options.input = argument;
        } else {
            fail("more than one input given: '" + options.input + "' and '" + argument + "'");
        }
    }
    if (options.input.empty()) {
        fail("no input given");
    }
    // Checked once every option is read, since --tracker may come after the flag.
    if (options.tracker != TrackerKind::Corr && !corrOption.empty()) {
        fail(corrOption + " applies to --tracker corr only; --tracker " +
             trackerName(options.tracker) + " takes its parameters from --config");
    }
    if (options.box && (options.offset || options.half)) {
        fail("give the start either as --box or as --offset with --half, not both");
    }
    if (bool(options.offset) != bool(options.half)) {
        fail("--offset and --half go together");
    }
    if (!options.box && !options.offset && options.input != kSyntheticInput) {
        fail("no start given: use --box X,Y,W,H or --offset DX,DY --half HW,HH");
    }
    return options;
}

} // namespace zok_track
