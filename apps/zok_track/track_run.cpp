#include "track_run.hpp"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "annotator.hpp"
#include "chosen_tracker.hpp"
#include "geometry/geometry.hpp"
#include "pending_file.hpp"
#include "progress.hpp"
#include "result_writer.hpp"
#include "track_drawing.hpp"
#include "tracker_params.hpp"
#include "zok/flight_director.hpp"
#include "zok/tracker_dcf.hpp"

namespace zok_track {

namespace {

using wyr::zok::FlightDirector;
using wyr::zok::TrackerCorr;
using wyr::zok::TrackerDcf;

// The chosen tracker with its parameters read, so that a refused configuration file stops the
// run before the input is opened; only the chosen kind's parameters are read.
ChosenTracker chooseTracker(const Options& options) {
    return options.tracker == TrackerKind::Dcf
               ? ChosenTracker(options.tracker, TrackerCorr::Params(), dcfParams(options))
               : ChosenTracker(options.tracker, trackerParams(options), TrackerDcf::Params());
}

std::unique_ptr<FrameSource> openAtStart(const Options& options, cv::Mat& first) {
    std::unique_ptr<FrameSource> source = FrameSource::open(options.input);
    for (int skipped = 0; skipped <= options.start; ++skipped) {
        if (!source->read(first)) {
            throw InputError(skipped == 0
                                 ? "no frames in '" + options.input + "'"
                                 : "'" + options.input + "' has only " + std::to_string(skipped) +
                                       " frames, fewer than " + std::to_string(options.start + 1));
        }
    }
    return source;
}

std::string describe(const cv::Rect& box) {
    return std::to_string(box.x) + "," + std::to_string(box.y) + "," + std::to_string(box.width) +
           "," + std::to_string(box.height);
}

// The box the run starts from, by whichever way the options give it: inside the first frame,
// and as large as the chosen tracker takes.
cv::Rect startBox(const Options& options, const FrameSource& source, const cv::Size& frame) {
    const cv::Rect box = options.box ? *options.box
                         : options.offset
                             ? wyr::zok::boxAtOffset(*options.offset, options.half->width,
                                                     options.half->height, frame)
                             : source.truth().value_or(cv::Rect());
    if (box.width <= 0 || box.height <= 0 || (box & cv::Rect(cv::Point(), frame)) != box) {
        throw StartError("the start box " + describe(box) +
                         " does not lie inside the first frame (" + std::to_string(frame.width) +
                         " x " + std::to_string(frame.height) + ")");
    }
    const int smallest = wyr::zok::DCF_MIN_TARGET_SIDE;
    if (options.tracker == TrackerKind::Dcf && (box.width < smallest || box.height < smallest)) {
        throw StartError("the start box " + describe(box) +
                         " is too small for the learned tracker: the smallest box it takes is " +
                         std::to_string(smallest) + " x " + std::to_string(smallest) +
                         " pixels (--tracker corr takes smaller ones)");
    }
    return box;
}

// Starts the track; a start box the tracker refuses is a bad start, told in the tracker's own
// words without OpenCV's source location.
void startTrack(FlightDirector& director, const Options& options, const cv::Mat& frame,
                const cv::Rect& start) {
    try {
        if (options.offset) {
            director.initAtOffset(frame, *options.offset, options.half->width,
                                  options.half->height);
        } else {
            director.init(frame, start);
        }
    } catch (const cv::Exception& error) {
        throw StartError("the tracker refused the start box " + describe(start) + ": " + error.err);
    }
}

void recordLoss(Summary& summary, int& lostRun, bool found) {
    if (found) {
        lostRun = 0;
        return;
    }
    if (lostRun++ == 0) {
        ++summary.lostRuns;
    }
    summary.longestLostRun = std::max(summary.longestLostRun, lostRun);
}

std::optional<int> framesToTrack(const Options& options, const FrameSource& source) {
    if (options.frames) {
        return options.frames;
    }
    if (const std::optional<int> announced = source.announcedFrames()) {
        return std::max(*announced - options.start, 1);
    }
    return std::nullopt;
}

} // namespace

Summary track(const Options& options) {
    ChosenTracker tracker = chooseTracker(options);
    cv::Mat frame;
    const std::unique_ptr<FrameSource> source = openAtStart(options, frame);
    const cv::Rect start = startBox(options, *source, frame.size());
    const std::optional<int> expected = framesToTrack(options, *source);

    const cv::Ptr<FlightDirector> director = tracker.createDirector();
    startTrack(*director, options, frame, start);

    if (!options.outputDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.outputDir, error);
        if (error) {
            throw OutputError("cannot create '" + options.outputDir + "': " + error.message());
        }
    }
    std::optional<PendingFile> resultsFile;
    std::ofstream resultsStream;
    if (options.output != "-") {
        resultsFile.emplace(options.output);
        resultsStream.open(resultsFile->writePath());
        if (!resultsStream) {
            throw OutputError("cannot write '" + options.output + "'");
        }
    }
    ResultWriter writer(resultsFile ? resultsStream : std::cout, options.format);
    std::optional<Annotator> annotator;
    if (!options.annotate.empty()) {
        annotator.emplace(options.annotate, source->framesPerSecond(), frame.size());
    }

    FrameResult result;
    result.frame = options.start;
    result.found = true;
    result.box = start;
    result.offset = wyr::zok::centreOffset(start, frame.size());
    writer.write(result);
    if (annotator) {
        annotator->write(frame, result, {});
    }

    Summary summary;
    // The learned tracker always computes with FFTW.
    summary.engine = options.tracker == TrackerKind::Dcf
                         ? "fft"
                         : engineName(TrackerCorr::engineRun(tracker.corrParams().engine));
    summary.frames = 1;
    double errorSum = 0.0;
    int lostRun = 0;
    Progress progress(options.progress, expected);
    while (!expected || summary.frames < *expected) {
        try {
            if (!source->read(frame)) {
                if (expected) {
                    summary.endedEarly = "the input ended after " + std::to_string(summary.frames) +
                                         " of " + std::to_string(*expected) + " frames";
                }
                break;
            }
        } catch (const InputError& error) {
            summary.endedEarly =
                std::string(error.what()) + " after " + std::to_string(summary.frames) + " frames";
            break;
        }
        const cv::Rect window = annotator ? tracker.nextSearchWindow(frame.size()) : cv::Rect();
        const auto started = std::chrono::steady_clock::now();
        result.found = director->update(frame, result.box);
        summary.trackerSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ++result.frame;
        ++summary.frames;
        if (result.found) {
            ++summary.found;
            result.offset = wyr::zok::centreOffset(result.box, frame.size());
        }
        result.scores = tracker.scores();
        recordLoss(summary, lostRun, result.found);
        if (const std::optional<cv::Rect> truth = source->truth()) {
            const cv::Point error = result.box.tl() - truth->tl();
            errorSum += std::hypot(error.x, error.y);
            summary.meanError = errorSum / (summary.frames - 1);
        }
        writer.write(result);
        if (annotator) {
            annotator->write(frame, result, window);
        }
        progress.show(summary.frames,
                      (summary.frames - 1) / std::max(summary.trackerSeconds, 1e-9));
    }
    progress.finish();

    if (resultsFile) {
        resultsStream.close();
        if (resultsStream.fail()) {
            throw OutputError("cannot write '" + options.output + "'");
        }
        resultsFile->commit();
    } else {
        std::cout.flush();
    }
    if (annotator) {
        annotator->commit();
    }
    return summary;
}

} // namespace zok_track
