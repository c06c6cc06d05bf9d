// Trackers share nothing: eight of them, each following its own scene on its own thread, give
// exactly what each gives alone. Built and run under ThreadSanitizer by scripts/test.
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "synthetic/synthetic.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok {
namespace {

constexpr int kTrackers = 8;
constexpr int kFrames = 25;

struct Step {
    bool found;
    cv::Rect box;
    std::vector<double> matches;
    double variance;

    bool operator==(const Step& o) const {
        return found == o.found && box == o.box && matches == o.matches && variance == o.variance;
    }
};

// Each tracker its own scene, path and settings, so that the runs differ from one another.
struct Track {
    synthetic::SceneOptions options;
    TrackerCorr::Params params;
    std::vector<cv::Point> path;
};

Track makeTrack(int index, TrackerCorr::Engine engine) {
    Track track;
    track.options.frameSize = {160, 120};
    track.options.targetSize = {20, 16};
    track.options.type = index % 2 ? CV_8UC3 : CV_8UC1;
    track.options.seed = 11 + index;
    track.params.engine = engine;
    track.params.zoomFactor = 1 + index % 3;
    track.params.depth = 1 + index % 4;
    track.params.mode1D = index % 4 == 3;
    track.params.sigmaExp = index % 2 ? 1.0f : 5.0f;
    track.params.varianceFilter.threshold = index % 3 == 0 ? 50.0 : 0.0;
    track.params.altSearchRadiiFactors = {6.0f};
    track.path = synthetic::randomWalk(track.options, {70, 50}, kFrames, 6, 100 + index);
    return track;
}

std::vector<Step> run(const Track& track) {
    const synthetic::Scene scene(track.options);
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(track.params);
    cv::Rect box(track.path[0], track.options.targetSize);
    tracker->init(scene.render(track.path[0]), box);
    std::vector<Step> steps;
    for (size_t k = 1; k < track.path.size(); ++k) {
        // Every fifth frame hides the target, so that failures and wider searches run too.
        const bool found = tracker->update(scene.render(track.path[k], k % 5 != 0), box);
        steps.push_back({found, box, tracker->matches(), tracker->variance()});
    }
    return steps;
}

class ParallelTrackers : public ::testing::TestWithParam<TrackerCorr::Engine> {};

TEST_P(ParallelTrackers, EachGivesWhatItGivesAlone) {
    TrackerCorr::Params probe;
    probe.engine = GetParam();
    try {
        TrackerCorr::create(probe);
    } catch (const cv::Exception& e) {
        ASSERT_EQ(e.code, cv::Error::StsNotImplemented);
        GTEST_SKIP() << "engine not in this build";
    }
    std::vector<Track> tracks;
    std::vector<std::vector<Step>> alone;
    for (int i = 0; i < kTrackers; ++i) {
        tracks.push_back(makeTrack(i, GetParam()));
        alone.push_back(run(tracks.back()));
    }
    std::vector<std::vector<Step>> together(kTrackers);
    std::vector<std::thread> threads;
    for (int i = 0; i < kTrackers; ++i) {
        threads.emplace_back([&, i] { together[i] = run(tracks[i]); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kTrackers; ++i) {
        EXPECT_TRUE(together[i] == alone[i]) << "tracker " << i;
        EXPECT_GT(
            std::count_if(alone[i].begin(), alone[i].end(), [](const Step& s) { return s.found; }),
            kFrames / 2)
            << "tracker " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ParallelTrackers,
                         ::testing::Values(TrackerCorr::Engine::OPENCV, TrackerCorr::Engine::FFT),
                         [](const auto& info) {
                             return info.param == TrackerCorr::Engine::OPENCV
                                        ? std::string("OpenCV")
                                        : std::string("FFT");
                         });

// The learned tracker: each thread its own scene and settings (colour and grey frames, scale
// filter on and off, constrained and plain training), every fifth frame hiding the target so
// that the lost state and its re-detection run too.
struct DcfStep {
    bool found;
    cv::Rect box;
    double confidence;

    bool operator==(const DcfStep& o) const {
        return found == o.found && box == o.box && confidence == o.confidence;
    }
};

std::vector<DcfStep> runDcf(int index) {
    synthetic::SceneOptions options;
    options.frameSize = {160, 120};
    options.targetSize = {24, 18};
    options.type = index % 2 ? CV_8UC3 : CV_8UC1;
    options.seed = 31 + index;
    TrackerDcf::Params params;
    params.gridCells = 24 + 8 * (index % 3);
    params.scaleFilter = index % 4 != 1;
    params.admmIterations = index % 3;
    const std::vector<cv::Point> path =
        synthetic::randomWalk(options, {70, 50}, kFrames, 4, 200 + index);
    const synthetic::Scene scene(options);
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create(params);
    cv::Rect box(path[0], options.targetSize);
    tracker->init(scene.render(path[0]), box);
    std::vector<DcfStep> steps;
    for (size_t k = 1; k < path.size(); ++k) {
        const bool found = tracker->update(scene.render(path[k], k % 5 != 0), box);
        steps.push_back({found, box, tracker->confidence()});
    }
    return steps;
}

TEST(ParallelDcfTrackers, EachGivesWhatItGivesAlone) {
    try {
        TrackerDcf::create();
    } catch (const cv::Exception& e) {
        ASSERT_EQ(e.code, cv::Error::StsNotImplemented);
        GTEST_SKIP() << "TrackerDcf not in this build";
    }
    std::vector<std::vector<DcfStep>> alone;
    for (int i = 0; i < kTrackers; ++i) {
        alone.push_back(runDcf(i));
    }
    std::vector<std::vector<DcfStep>> together(kTrackers);
    std::vector<std::thread> threads;
    for (int i = 0; i < kTrackers; ++i) {
        threads.emplace_back([&, i] { together[i] = runDcf(i); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kTrackers; ++i) {
        EXPECT_TRUE(together[i] == alone[i]) << "tracker " << i;
        EXPECT_GT(std::count_if(alone[i].begin(), alone[i].end(),
                                [](const DcfStep& s) { return s.found; }),
                  kFrames / 2)
            << "tracker " << i;
    }
}

} // namespace
} // namespace wyr::zok
