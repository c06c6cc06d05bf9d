// zok_accuracy_gimbal: trackers in closed loop, each steering a virtual gimbal over annotated
// real footage (see accuracy/gimbal/closed_loop.hpp).
//   zok_accuracy_gimbal --dataset DIR [--format auto|simple|otb|uav|lasot|got10k]
//                       [--frame-size WxH|any] [--view WxH] [--fov DEGREES] [--delay FRAMES]
//                       [--gain 1/s] [--integral 1/s2] [--max-rate DEG/S] [--dead-band DEG]
//                       [--trackers ID,...] [--jobs N] [--recommended config.json] [--out DIR]
// Runs the sequences whose frames are --frame-size (default 1280x720; "any" runs every one the
// view fits) and writes DIR/gimbal-tables.md and DIR/gimbal-paths.csv (--out, default "."),
// then prints the overall table. Exit status: 0 when every sequence of that size ran, 1 when
// some were left out (each named on stderr), 2 on a usage error or when none could run.
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "accuracy/gimbal_report.hpp"
#include "accuracy/gimbal_run.hpp"
#include "accuracy/run_setup.hpp"
#include "accuracy/workers.hpp"

namespace {

using namespace wyr::zok::accuracy;
using wyr::zok::GimbalController;

constexpr int LEFT_OUT = 1;
constexpr int USAGE = 2;

int usage(const std::string& problem) {
    std::cerr << "zok_accuracy_gimbal: " << problem << "\n"
              << "usage: zok_accuracy_gimbal --dataset DIR [--format auto|simple|otb|uav|lasot|"
                 "got10k] [--frame-size WxH|any] [--view WxH] [--fov DEGREES] [--delay FRAMES] "
                 "[--gain 1/s] [--integral 1/s2] [--max-rate DEG/S] [--dead-band DEG] "
                 "[--trackers ID,...] [--jobs N] [--recommended config.json] [--out DIR]\n";
    return USAGE;
}

bool parseSize(const std::string& text, cv::Size& size) {
    char* end = nullptr;
    const long w = std::strtol(text.c_str(), &end, 10);
    if (*end != 'x') {
        return false;
    }
    const char* rest = end + 1;
    const long h = std::strtol(rest, &end, 10);
    if (*end != '\0' || end == rest || w < 1 || h < 1 || w > 100000 || h > 100000) {
        return false;
    }
    size = cv::Size(int(w), int(h));
    return true;
}

bool parseNumber(const std::string& text, double lo, double hi, double& value) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= lo && v <= hi)) {
        return false;
    }
    value = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string dataset, trackers = "zok-dcf,zok-fft,csrt,kcf",
                         recommended = "config/recommended.json", out = ".";
    Format format = Format::AUTO;
    cv::Size frameSize(1280, 720); // empty: any
    ClosedLoopSettings settings;
    settings.camera.view = cv::Size(640, 360);
    GimbalController::Params& c = settings.controller;
    double delay = settings.delayFrames, jobs = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return usage(arg + " needs a value");
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (arg == "--dataset") {
            dataset = value;
        } else if (arg == "--format") {
            ok = parseFormat(value, format);
        } else if (arg == "--frame-size") {
            frameSize = cv::Size();
            ok = value == "any" || parseSize(value, frameSize);
        } else if (arg == "--view") {
            ok = parseSize(value, settings.camera.view);
        } else if (arg == "--fov") {
            ok = parseNumber(value, 1, 170, settings.camera.frameFov);
        } else if (arg == "--delay") {
            ok = parseNumber(value, 0, 100, delay) && delay == std::floor(delay);
        } else if (arg == "--gain") {
            ok = parseNumber(value, 0, 50, c.proportionalGain);
        } else if (arg == "--integral") {
            ok = parseNumber(value, 0, 50, c.integralGain);
        } else if (arg == "--max-rate") {
            ok = parseNumber(value, 0, 1000, c.maxRate);
        } else if (arg == "--dead-band") {
            ok = parseNumber(value, 0, 45, c.deadBand);
        } else if (arg == "--trackers") {
            trackers = value;
        } else if (arg == "--jobs") {
            ok = parseNumber(value, 1, 64, jobs) && jobs == std::floor(jobs);
        } else if (arg == "--recommended") {
            recommended = value;
        } else if (arg == "--out") {
            out = value;
        } else {
            return usage("unknown option " + arg);
        }
        if (!ok) {
            return usage(arg + ": cannot use '" + value + "'");
        }
    }
    settings.delayFrames = int(delay);
    if (dataset.empty()) {
        return usage("--dataset is required");
    }
    if (!frameSize.empty() && (settings.camera.view.width > frameSize.width ||
                               settings.camera.view.height > frameSize.height)) {
        return usage("--view: larger than the frames of --frame-size");
    }
    std::vector<TrackerRow> rows;
    const std::string problem = setUpRun({out, recommended, {}, trackers}, rows);
    if (!problem.empty()) {
        return usage(problem);
    }

    const DatasetScan scan = readDataset(dataset, format);
    size_t leftOut = 0;
    for (const std::string& p : scan.problems) {
        std::cerr << "left out: " << p << '\n';
        ++leftOut;
    }
    // Only the sequences of the one frame size, so that the view is the same share of every
    // frame and the field of view means the same camera throughout.
    std::vector<RealSequence> picked;
    for (const RealSequence& seq : scan.sequences) {
        std::string why;
        const cv::Size size = readFrame(seq, 0, {}, why).size();
        if (size.empty()) {
            std::cerr << "left out: " << why << '\n';
            ++leftOut;
        } else if ((frameSize.empty() || size == frameSize) &&
                   size.width >= settings.camera.view.width &&
                   size.height >= settings.camera.view.height) {
            picked.push_back(seq);
        }
    }
    if (picked.empty()) {
        std::cerr << "zok_accuracy_gimbal: no sequence has frames of that size\n";
        return USAGE;
    }
    settings.camera.frame = frameSize.empty() ? cv::Size() : frameSize;

    const std::vector<SequenceRun> runs =
        runAll(picked, rows, int(jobs),
               [&settings](const RealSequence& seq, const std::vector<TrackerRow>& r,
                           const std::function<void(size_t)>& progress) {
                   return runClosedLoopSequence(seq, r, settings, progress);
               });
    std::vector<RealSequence> ran;
    std::vector<SequenceRun> clean;
    for (size_t s = 0; s < runs.size(); ++s) {
        if (runs[s].problem.empty()) {
            ran.push_back(picked[s]);
            clean.push_back(runs[s]);
        } else {
            std::cerr << "left out: " << runs[s].problem << '\n';
            ++leftOut;
        }
    }
    if (ran.empty()) {
        std::cerr << "zok_accuracy_gimbal: no sequence could run\n";
        return USAGE;
    }
    const std::string table = writeClosedLoopReport(ran, clean, rows, settings, out);
    if (table.empty()) {
        std::cerr << "zok_accuracy_gimbal: cannot write the results into " << out << '\n';
        return USAGE;
    }
    std::cout << "Read " << scan.sequences.size() + scan.problems.size() << " sequences in the "
              << formatName(scan.format) << " layout under " << dataset << "; " << picked.size()
              << " of them "
              << (frameSize.empty() ? "large enough for the view"
                                    : "of " + std::to_string(frameSize.width) + " x " +
                                          std::to_string(frameSize.height) + " pixels")
              << "; " << ran.size() << " ran, " << leftOut << " left out.\n\n"
              << table;
    return leftOut > 0 ? LEFT_OUT : 0;
}
