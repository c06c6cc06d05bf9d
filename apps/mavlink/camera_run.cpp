#include "camera_run.hpp"

#include <chrono>
#include <fstream>
#include <iostream>
#include <utility>

#include "frame_feed.hpp"
#include "pending_file.hpp"
#include "tool_config.hpp"
#include "tracking_loop.hpp"

namespace zok_mavlink {

namespace {

using zok_track::TrackerKind;

// Datagrams handled between two frames at most, so that a flood cannot starve the video.
constexpr int kMaxDatagramsPerTurn = 64;
constexpr int kPollMs = 5;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

zok_track::ChosenTracker chooseTracker(const Options& o) {
    const wyr::zok::ZokConfig config = zok_track::toolConfig(o.configPath, false);
    return zok_track::ChosenTracker(o.tracker, config.trackerCorr, config.trackerDcf);
}

} // namespace

std::optional<std::string> runCamera(const Options& o, const std::atomic<bool>& stop) {
    zok_track::ChosenTracker tracker = chooseTracker(o);
    const std::unique_ptr<UdpLink> link = UdpLink::open(o.link);

    std::optional<zok_track::PendingFile> resultsFile;
    std::ofstream resultsStream;
    std::optional<zok_track::ResultWriter> writer;
    if (o.output == "-") {
        writer.emplace(std::cout, o.format);
    } else if (!o.output.empty()) {
        resultsFile.emplace(o.output);
        resultsStream.open(resultsFile->writePath());
        if (!resultsStream) {
            throw zok_track::OutputError("cannot write '" + o.output + "'");
        }
        writer.emplace(resultsStream, o.format);
    }

    const std::unique_ptr<CameraComponent> camera = CameraComponent::create(
        o.camera, [&](const std::vector<uint8_t>& datagram) { link->send(datagram); });
    TrackingLoop loop(std::move(tracker), o.gimbal);
    // Opened on the feed's thread: a pipeline or camera that never delivers its first frame
    // keeps its open waiting, and a stop must still be heard.
    FrameFeed feed(
        [pipeline = o.pipeline, input = o.input] {
            return pipeline ? zok_track::FrameSource::openPipeline(input)
                            : zok_track::FrameSource::open(input);
        },
        o.input, o.loop && !o.pipeline, o.fps);
    // The camera announces itself once the first frame has come, so that what it tells the
    // ground station (its resolution) is known.
    std::optional<FrameFeed::Frame> first;
    while (!stop && !first && !feed.ended()) {
        first = feed.take(50);
    }
    if (!first && !stop) {
        throw zok_track::InputError(feed.error().value_or("no frames in '" + o.input + "'"));
    }
    if (first) {
        TrackReport idle;
        idle.frameWidth = first->image.cols;
        idle.frameHeight = first->image.rows;
        camera->report(idle, secondsNow());
    }
    std::optional<double> previousFrame;
    while (!stop) {
        for (int n = 0; n < kMaxDatagramsPerTurn; ++n) {
            const std::vector<uint8_t>& datagram = link->receive(n == 0 ? kPollMs : 0);
            if (datagram.empty()) {
                break;
            }
            camera->receive(datagram.data(), datagram.size(), secondsNow());
        }
        camera->tick(secondsNow());
        std::optional<FrameFeed::Frame> frame =
            first ? std::exchange(first, std::nullopt) : feed.take(0);
        if (!frame) {
            if (feed.ended()) {
                break;
            }
            continue;
        }
        const double dt = previousFrame ? frame->time - *previousFrame : 0.0;
        previousFrame = frame->time;
        const TrackingLoop::Step step =
            loop.process(frame->image, frame->index, camera->takeRequest(), dt);
        camera->report(step.report, secondsNow());
        if (writer && step.result) {
            writer->write(*step.result);
            if (o.output == "-") {
                std::cout.flush();
            }
        }
    }
    camera->stop(secondsNow());

    if (resultsFile) {
        resultsStream.close();
        if (resultsStream.fail()) {
            throw zok_track::OutputError("cannot write '" + o.output + "'");
        }
        resultsFile->commit();
    }
    return feed.error();
}

} // namespace zok_mavlink
