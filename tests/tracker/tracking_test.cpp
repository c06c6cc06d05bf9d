#include <functional>

#include <gtest/gtest.h>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

using test::sceneOptions;

struct Mode {
    const char* name;
    std::function<void(TrackerCorr::Params&)> set;
};

class FollowsWholePixelMotion
    : public ::testing::TestWithParam<std::tuple<Mode, int /* frame type */>> {};

TEST_P(FollowsWholePixelMotion, ExactlyOverTwoHundredFrames) {
    const auto& [mode, type] = GetParam();
    const synthetic::SceneOptions options = sceneOptions(type);
    const synthetic::Scene scene(options);
    const std::vector<cv::Point> truth = synthetic::randomWalk(options, {150, 110}, 200, 20, 5);

    TrackerCorr::Params params;
    mode.set(params);
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    cv::Rect box(truth[0], options.targetSize);
    tracker->init(scene.render(truth[0]), box);
    for (size_t k = 1; k < truth.size(); ++k) {
        ASSERT_TRUE(tracker->update(scene.render(truth[k]), box)) << "frame " << k;
        ASSERT_EQ(box, cv::Rect(truth[k], options.targetSize)) << "frame " << k;
        ASSERT_EQ(tracker->matches().size(), 1u);
    }
    if (params.varianceFilter.threshold > 0) {
        EXPECT_GT(tracker->variance(), 0.0);
    } else {
        EXPECT_EQ(tracker->variance(), 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FollowsWholePixelMotion,
    ::testing::Combine(::testing::Values(Mode{"Plain", [](auto&) {}},
                                         Mode{"PerAxis", [](auto& p) { p.mode1D = true; }},
                                         Mode{"PerAxisDepth4",
                                              [](auto& p) {
                                                  p.mode1D = true;
                                                  p.depth = 4;
                                              }},
                                         Mode{"Depth4", [](auto& p) { p.depth = 4; }},
                                         Mode{"Zoom4", [](auto& p) { p.zoomFactor = 4; }},
                                         Mode{"Weighted", [](auto& p) { p.sigmaExp = 0.0f; }},
                                         Mode{"VarianceFilter",
                                              [](auto& p) { p.varianceFilter.threshold = 100.0; }}),
                       ::testing::Values(CV_8UC1, CV_8UC3)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == CV_8UC1 ? "Grey" : "Bgr");
    });

TEST(Tracking, QuarterPixelDriftMovesTheBoxEveryFourthFrame) {
    const synthetic::SceneOptions options = sceneOptions(CV_8UC1);
    const synthetic::Scene scene(options);
    TrackerCorr::Params params;
    params.zoomFactor = 4;
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    const cv::Point2d start(140, 100);
    cv::Rect box(cv::Point(start), options.targetSize);
    tracker->init(scene.render(start), box);

    std::vector<int> moves;
    for (int k = 1; k <= 40; ++k) {
        const cv::Point2d truth = start + cv::Point2d(0.25 * k, 0.0);
        const int before = box.x;
        ASSERT_TRUE(tracker->update(scene.render(truth), box)) << k;
        EXPECT_EQ(box.y, 100);
        EXPECT_LT(std::abs(box.x - truth.x), 1.0) << k;
        if (box.x != before) {
            EXPECT_EQ(box.x, before + 1);
            moves.push_back(k);
        }
    }
    // Fractions accumulate with the templates and reach the box one pixel at a time.
    ASSERT_GE(moves.size(), 9u);
    for (size_t i = 1; i < moves.size(); ++i) {
        EXPECT_EQ(moves[i] - moves[i - 1], 4) << "move " << i;
    }
}

TEST(Tracking, TargetBeyondTheFirstWindowIsFoundByAWiderFactor) {
    synthetic::SceneOptions options = sceneOptions(CV_8UC3);
    options.frameSize = {480, 240};
    const synthetic::Scene scene(options);
    TrackerCorr::Params params;
    params.threshold = 0.95;
    params.altSearchRadiiFactors = {8.0f};
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    const cv::Point start(60, 110);
    cv::Rect box(start, options.targetSize);
    tracker->init(scene.render(start), box);

    // 4 target widths are 96 pixels; the target jumps 150.
    const cv::Point jumped = start + cv::Point(150, 7);
    ASSERT_TRUE(tracker->update(scene.render(jumped), box));
    ASSERT_EQ(tracker->matches().size(), 2u);
    EXPECT_LT(tracker->matches()[0], 0.95);
    EXPECT_EQ(box, cv::Rect(jumped, options.targetSize));
}

TEST(Tracking, FlatGroundIsRejectedByTheVarianceFilter) {
    synthetic::SceneOptions options = sceneOptions(CV_8UC1);
    options.flatRegions = {cv::Rect(20, 10, 280, 220)};
    const synthetic::Scene scene(options);
    const cv::Point start(150, 110);
    for (const double threshold : {0.0, 50.0}) {
        TrackerCorr::Params params;
        params.varianceFilter.threshold = threshold;
        const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
        cv::Rect box(start, options.targetSize);
        tracker->init(scene.render(start), box);
        ASSERT_TRUE(tracker->update(scene.render(start + cv::Point(4, 3)), box));

        // The target leaves; only featureless ground remains around it.
        const cv::Rect last = box;
        const bool found = tracker->update(scene.render(start, false), box);
        if (threshold > 0) {
            EXPECT_FALSE(found);
            EXPECT_EQ(tracker->matches(), std::vector<double>{0.0});
            EXPECT_EQ(box, last);
        } else {
            // Normalised cross-correlation alone takes the flat patch for the target.
            EXPECT_TRUE(found);
        }
    }
}

} // namespace
} // namespace wyr::zok
