// Trackers share nothing: eight of them, each following its own scene on its own thread, give
// exactly what each gives alone, for the correlation tracker on either engine and for the
// learned tracker. Built and run under ThreadSanitizer by scripts/test.
#include <algorithm>
#include <functional>
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

// Runs `run(i)` for every tracker, first one after another, then all at once on threads of
// their own, and expects each to give the same steps both times.
template <typename Steps>
void expectSameAlone(const std::function<Steps(int)>& run, std::vector<Steps>& alone) {
    for (int i = 0; i < kTrackers; ++i) {
        alone.push_back(run(i));
    }
    std::vector<Steps> together(kTrackers);
    std::vector<std::thread> threads;
    for (int i = 0; i < kTrackers; ++i) {
        threads.emplace_back([&, i] { together[i] = run(i); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kTrackers; ++i) {
        EXPECT_TRUE(together[i] == alone[i]) << "tracker " << i;
    }
}

struct DcfStep {
    bool found;
    cv::Rect box;
    double confidence;

    bool operator==(const DcfStep& o) const {
        return found == o.found && box == o.box && confidence == o.confidence;
    }
};

// Each tracker its own scene, path and settings: grey and colour frames, with and without the
// scale filter, the colour model and re-detection, on grids of different sizes.
struct DcfTrack {
    synthetic::SceneOptions options;
    TrackerDcf::Params params;
    std::vector<cv::Point> path;
};

DcfTrack makeDcfTrack(int index) {
    DcfTrack track;
    track.options.frameSize = {160, 120};
    track.options.targetSize = {20 + 2 * (index % 3), 16};
    track.options.type = index % 2 ? CV_8UC3 : CV_8UC1;
    track.options.seed = 31 + index;
    track.params.gridCells = 16 + 8 * (index % 3);
    track.params.scaleFilter = index % 4 != 1;
    track.params.colour = index % 4 != 3;
    track.params.redetection = index % 3 != 2;
    track.params.admmIterations = index % 3;
    track.path = synthetic::randomWalk(track.options, {70, 50}, kFrames, 4, 200 + index);
    return track;
}

std::vector<DcfStep> runDcf(const DcfTrack& track) {
    const synthetic::Scene scene(track.options);
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create(track.params);
    cv::Rect box(track.path[0], track.options.targetSize);
    tracker->init(scene.render(track.path[0]), box);
    std::vector<DcfStep> steps;
    for (size_t k = 1; k < track.path.size(); ++k) {
        // Two frames in every eight hide the target: losses and re-detection searches run too.
        const bool found = tracker->update(scene.render(track.path[k], k % 8 < 6), box);
        steps.push_back({found, box, tracker->confidence()});
    }
    return steps;
}

TEST(ParallelDcfTrackers, EachGivesWhatItGivesAlone) {
    try {
        TrackerDcf::create();
    } catch (const cv::Exception& e) {
        ASSERT_EQ(e.code, cv::Error::StsNotImplemented);
        GTEST_SKIP() << "the learned tracker is not in this build";
    }
    std::vector<DcfTrack> tracks;
    for (int i = 0; i < kTrackers; ++i) {
        tracks.push_back(makeDcfTrack(i));
    }
    std::vector<std::vector<DcfStep>> alone;
    expectSameAlone<std::vector<DcfStep>>([&](int i) { return runDcf(tracks[i]); }, alone);
    // Runs worth comparing: each follows its target until it first hides, and the lost path
    // runs too.
    bool lost = false;
    for (int i = 0; i < kTrackers; ++i) {
        EXPECT_TRUE(std::all_of(alone[i].begin(), alone[i].begin() + 5,
                                [](const DcfStep& s) { return s.found; }))
            << "tracker " << i;
        lost = lost || std::any_of(alone[i].begin(), alone[i].end(),
                                   [](const DcfStep& s) { return !s.found; });
    }
    EXPECT_TRUE(lost);
}

} // namespace
} // namespace wyr::zok
