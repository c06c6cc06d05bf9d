// zok_accuracy: zok's tracker beside OpenCV's on generated sequences with exact truth.
//   zok_accuracy <recommended.json> <table.md> <results.csv> [more.json...]
// Every tracker sees the same frames, fed to each in turn, so that the machine's noise falls
// on all of them alike; times are medians over every update.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/tracking.hpp>
#include <opencv2/tracking/tracking_legacy.hpp>
#include <opencv2/video/tracking.hpp>

#include "accuracy/sequences.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"
#include "zok/zok_config.hpp"

namespace {

using namespace wyr::zok;
using namespace wyr::zok::accuracy;

struct TrackerKind {
    std::string name;
    std::function<cv::Ptr<cv::Tracker>()> create;
    std::string unavailable; // why the row could not be run, when it could not
    bool colour = false;     // sees grey frames converted to BGR
};

// OpenCV's KCF raises errors on some grey frames; its trackers all see BGR frames here.
cv::Mat asColour(const cv::Mat& image) {
    if (image.channels() != 1) {
        return image;
    }
    cv::Mat bgr;
    cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR);
    return bgr;
}

// What one tracker did on one sequence.
struct Run {
    int frames = 0;      // updates scored: frames showing at least part of the target
    int successes = 0;   // of those, with IoU above 0.5
    double errorSum = 0; // centre error over the same frames
    std::optional<int> firstLoss;
    bool lostForGood = false;
    int hidden = 0, hiddenLost = 0;
    int visible = 0, visibleFound = 0;
    std::vector<int> refound; // frames after each full occlusion until back on target; -1 never
    std::vector<double> milliseconds;
    int errors = 0; // updates that raised an error

    double success() const { return frames ? double(successes) / frames : 0.0; }
};

double iou(const cv::Rect2d& a, const cv::Rect2d& b) {
    const double inter = (a & b).area();
    const double uni = a.area() + b.area() - inter;
    return uni > 0 ? inter / uni : 0.0;
}

double centreError(const cv::Rect2d& a, const cv::Rect2d& b) {
    const cv::Point2d d = (a.tl() + cv::Point2d(a.width, a.height) * 0.5) -
                          (b.tl() + cv::Point2d(b.width, b.height) * 0.5);
    return std::hypot(d.x, d.y);
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

TrackerCorr::Params loadParams(const std::string& path) {
    ZokConfig config;
    if (!config.LoadFromJson(path.c_str())) {
        throw std::runtime_error("cannot load " + path);
    }
    return config.trackerCorr;
}

// With ZOK_ACCURACY_TUNING set, only zok's rows run, with a row for every further
// configuration file given: for trying configurations side by side.
std::vector<TrackerKind> trackerKinds(const std::string& recommendedPath,
                                      const std::vector<std::string>& extra, bool tuning) {
    const TrackerCorr::Params recommendedParams = loadParams(recommendedPath);
    TrackerCorr::Params fftParams = recommendedParams;
    fftParams.engine = TrackerCorr::Engine::FFT;

    std::vector<TrackerKind> kinds = {
        {"zok, library defaults", [] { return TrackerCorr::create({}); }, ""},
        {"zok, recommended (OpenCV engine)",
         [recommendedParams] {
             TrackerCorr::Params p = recommendedParams;
             p.engine = TrackerCorr::Engine::OPENCV;
             return TrackerCorr::create(p);
         },
         ""},
        {"zok, recommended (FFT engine)", [fftParams] { return TrackerCorr::create(fftParams); },
         ""},
        {"zok DCF", [] { return TrackerDcf::create(); }, ""},
        {"OpenCV KCF", [] { return cv::TrackerKCF::create(); }, "", true},
        {"OpenCV CSRT", [] { return cv::TrackerCSRT::create(); }, "", true},
        {"OpenCV MIL", [] { return cv::TrackerMIL::create(); }, "", true},
        {"OpenCV MedianFlow",
         [] { return cv::legacy::upgradeTrackingAPI(cv::legacy::TrackerMedianFlow::create()); }, "",
         true},
    };
    if (tuning) {
        kinds.resize(4);
    }
    for (const std::string& path : extra) {
        const TrackerCorr::Params params = loadParams(path);
        kinds.push_back({"zok, " + path, [params] { return TrackerCorr::create(params); }, ""});
    }
    for (TrackerKind& kind : kinds) {
        try {
            kind.create();
        } catch (const cv::Exception& e) {
            if (e.code != cv::Error::StsNotImplemented) {
                throw;
            }
            kind.unavailable = "not built";
        }
    }
    return kinds;
}

std::string percent(int part, int whole) {
    if (whole == 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", 100.0 * part / whole);
    return text;
}

std::string fixed(double value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: zok_accuracy <recommended.json> <table.md> <results.csv> "
                     "[more.json...]\n";
        return 2;
    }
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::setNumThreads(1); // one core per tracker, as on a drone's companion computer
    const std::vector<TrackerKind> kinds =
        trackerKinds(argv[1], std::vector<std::string>(argv + 4, argv + argc),
                     std::getenv("ZOK_ACCURACY_TUNING") != nullptr);
    std::vector<Sequence> sequences = makeSequences();
    const char* trace = std::getenv("ZOK_ACCURACY_TRACE"); // a sequence to follow frame by frame
    // runs[tracker][sequence]
    std::vector<std::vector<Run>> runs(kinds.size(), std::vector<Run>(sequences.size()));

    for (size_t s = 0; s < sequences.size(); ++s) {
        Sequence& seq = sequences[s];
        seq.prepare();
        std::cerr << "sequence " << seq.name << " (" << seq.frameSize.width << "x"
                  << seq.frameSize.height << (seq.type == CV_8UC1 ? " grey" : " BGR") << ")\n";
        const Frame first = seq.frame(0);
        const cv::Rect start(
            cv::Point(int(std::lround(first.truth.x)), int(std::lround(first.truth.y))),
            seq.targetSize);
        std::vector<cv::Ptr<cv::Tracker>> trackers(kinds.size());
        std::vector<cv::Rect> boxes(kinds.size(), start);
        std::vector<std::vector<double>> ious(kinds.size());
        for (size_t t = 0; t < kinds.size(); ++t) {
            if (kinds[t].unavailable.empty()) {
                trackers[t] = kinds[t].create();
                trackers[t]->init(kinds[t].colour ? asColour(first.image) : first.image, start);
            }
        }
        // Frames since the last full occlusion ended, while waiting for each tracker.
        int reappeared = -1; // the first whole frame after the last full occlusion
        bool afterHidden = false;
        std::vector<bool> waiting(kinds.size(), false);
        for (int k = 1; k < seq.frames; ++k) {
            const Frame frame = seq.frame(k);
            const cv::Mat colour = asColour(frame.image);
            if (frame.visibility == Visibility::HIDDEN) {
                afterHidden = true;
                reappeared = -1;
                std::fill(waiting.begin(), waiting.end(), true);
            } else if (frame.visibility == Visibility::FULL && afterHidden && reappeared < 0) {
                reappeared = k;
            }
            for (size_t t = 0; t < kinds.size(); ++t) {
                if (!trackers[t]) {
                    continue;
                }
                Run& run = runs[t][s];
                cv::Rect box = boxes[t];
                const auto begin = std::chrono::steady_clock::now();
                const cv::Mat& image = kinds[t].colour ? colour : frame.image;
                bool found = false;
                try {
                    found = trackers[t]->update(image, box);
                } catch (const cv::Exception&) {
                    // Counted as a lost frame; the tracker carries on with the next.
                    ++run.errors;
                }
                const auto end = std::chrono::steady_clock::now();
                run.milliseconds.push_back(
                    std::chrono::duration<double, std::milli>(end - begin).count());
                if (found) {
                    boxes[t] = box;
                }
                const double overlap = iou(boxes[t], frame.truth);
                if (frame.visibility == Visibility::HIDDEN) {
                    ++run.hidden;
                    run.hiddenLost += !found;
                } else {
                    ++run.frames;
                    run.successes += overlap > 0.5;
                    run.errorSum += centreError(boxes[t], frame.truth);
                    if (!(overlap > 0.5) && !run.firstLoss) {
                        run.firstLoss = k;
                    }
                }
                if (frame.visibility == Visibility::FULL) {
                    ++run.visible;
                    run.visibleFound += found;
                }
                if (waiting[t] && frame.visibility != Visibility::HIDDEN && found &&
                    overlap > 0.5) {
                    run.refound.push_back(reappeared < 0 ? 0 : k - reappeared);
                    waiting[t] = false;
                }
                ious[t].push_back(overlap);
                if (trace && seq.name == trace && t == kinds.size() - 1) {
                    std::fprintf(stderr, "%d %d box %d,%d truth %.1f,%.1f iou %.2f\n", k, found,
                                 boxes[t].x, boxes[t].y, frame.truth.x, frame.truth.y, overlap);
                }
            }
        }
        for (size_t t = 0; t < kinds.size(); ++t) {
            Run& run = runs[t][s];
            if (waiting[t]) {
                run.refound.push_back(-1);
            }
            const size_t tail = std::min<size_t>(10, ious[t].size());
            run.lostForGood = trackers[t] && std::none_of(ious[t].end() - tail, ious[t].end(),
                                                          [](double v) { return v > 0.5; });
        }
    }

    // The tables.
    std::ostringstream md;
    md << "| tracker | mean success | lost for good | re-found after full occlusion (frames) "
          "| hidden frames reported lost | visible frames reported found | mean centre error "
          "(px) | time per update (ms, median) |\n";
    md << "|---|---|---|---|---|---|---|---|\n";
    std::ofstream csv(argv[3]);
    std::ostringstream notes;
    csv << "tracker,success,milliseconds\n";
    for (size_t t = 0; t < kinds.size(); ++t) {
        if (!kinds[t].unavailable.empty()) {
            md << "| " << kinds[t].name << " | " << kinds[t].unavailable << " | | | | | | |\n";
            csv << '"' << kinds[t].name << "\",,\n";
            continue;
        }
        double successSum = 0;
        int lostForGood = 0, hidden = 0, hiddenLost = 0, visible = 0, visibleFound = 0;
        int scored = 0;
        int errors = 0;
        double errorSum = 0;
        std::vector<double> ms;
        std::vector<std::string> refound;
        for (size_t s = 0; s < sequences.size(); ++s) {
            const Run& run = runs[t][s];
            successSum += run.success();
            lostForGood += run.lostForGood;
            hidden += run.hidden;
            hiddenLost += run.hiddenLost;
            visible += run.visible;
            visibleFound += run.visibleFound;
            errorSum += run.errorSum;
            scored += run.frames;
            errors += run.errors;
            ms.insert(ms.end(), run.milliseconds.begin(), run.milliseconds.end());
            for (const int r : run.refound) {
                refound.push_back(sequences[s].name + " " +
                                  (r < 0 ? std::string("never") : std::to_string(r)));
            }
        }
        std::string refoundText;
        for (const std::string& r : refound) {
            refoundText += (refoundText.empty() ? "" : ", ") + r;
        }
        const double meanSuccess = successSum / double(sequences.size());
        md << "| " << kinds[t].name << " | " << fixed(meanSuccess, 3) << " | " << lostForGood
           << " of " << sequences.size() << " | " << refoundText << " | "
           << percent(hiddenLost, hidden) << " | " << percent(visibleFound, visible) << " | "
           << fixed(errorSum / std::max(scored, 1), 1) << " | " << fixed(median(ms), 2) << " |\n";
        if (errors > 0) {
            notes << "\n"
                  << kinds[t].name << " raised an error on " << errors
                  << " updates, counted as lost frames.\n";
        }
        csv << '"' << kinds[t].name << "\"," << meanSuccess << ',' << median(ms) << '\n';
    }

    md << notes.str();
    md << "\nSuccess (share of frames showing the target with IoU above 0.5) and first lost "
          "frame, per sequence:\n\n| sequence | frames |";
    for (const TrackerKind& kind : kinds) {
        md << ' ' << kind.name << " |";
    }
    md << "\n|---|---|";
    for (size_t t = 0; t < kinds.size(); ++t) {
        md << "---|";
    }
    md << '\n';
    for (size_t s = 0; s < sequences.size(); ++s) {
        const Sequence& seq = sequences[s];
        md << "| " << seq.name << ": " << seq.what << " | " << seq.frameSize.width << "x"
           << seq.frameSize.height << (seq.type == CV_8UC1 ? " grey" : " BGR") << " |";
        for (size_t t = 0; t < kinds.size(); ++t) {
            if (!kinds[t].unavailable.empty()) {
                md << " - |";
                continue;
            }
            const Run& run = runs[t][s];
            md << ' ' << fixed(run.success(), 2);
            if (run.firstLoss) {
                md << " (" << *run.firstLoss << ")";
            }
            if (run.lostForGood) {
                md << " lost";
            }
            md << " |";
        }
        md << '\n';
    }
    std::ofstream(argv[2]) << md.str();
    std::cout << md.str();
    return 0;
}
