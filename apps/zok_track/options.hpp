#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "arguments.hpp"
#include "chosen_tracker.hpp"
#include "result_writer.hpp"
#include "zok/tracker_corr.hpp"

namespace zok_track {

// Overrides of the tracker's parameters given on the command line; applied after the
// configuration file, so a flag always wins.
struct ParamFlags {
    std::optional<float> searchRadiusFactor;
    std::optional<std::vector<float>> altSearchRadiiFactors;
    std::optional<double> threshold;
    std::optional<long long> depth;
    std::optional<int> zoomFactor;
    std::optional<bool> mode1D;
    std::optional<float> sigmaExp;
    std::optional<double> varianceThreshold;
    std::optional<wyr::zok::TrackerCorr::Engine> engine;
    std::optional<bool> zeroMean;
    std::optional<double> updateThreshold;
    std::optional<double> redetectThreshold;
};

struct Options {
    std::string input;               // video file, camera index or folder of numbered images
    std::optional<cv::Rect> box;     // start as a box ...
    std::optional<cv::Point> offset; // ... or as a centre offset with half-sizes
    std::optional<cv::Size> half;
    TrackerKind tracker = kDefaultTracker;
    std::string configPath;       // when set, the file overlays the library's defaults
    bool libraryDefaults = false; // start from the library's defaults, not the recommended ones
    ParamFlags params;            // TrackerCorr's parameters only
    int start = 0;                // frames skipped before the first one
    std::optional<int> frames;    // frames to track, the first included
    std::string output = "-";     // per-frame results; "-" is standard output
    Format format = Format::Csv;
    std::string annotate;  // annotated video to write, if any
    std::string outputDir; // default run: where its outputs go
    bool progress = true;
    bool defaultRun = false;
    bool help = false;
};

// Reads the command line; throws UsageError with a message for the user.
Options parseOptions(const std::vector<std::string>& arguments);

// The run made without arguments: a sample video from Debian's opencv-doc, its first scene.
Options defaultOptions();

std::string usage();

// The engine's name as --engine and configuration files spell it.
std::string engineName(wyr::zok::TrackerCorr::Engine engine);

} // namespace zok_track
