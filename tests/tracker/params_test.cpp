#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

using test::implOf;

TEST(Params, DefaultsAreTheDocumentedValues) {
    const TrackerCorr::Params params;
    EXPECT_EQ(params.searchRadiusFactor, 4.0f);
    EXPECT_EQ(params.threshold, 0.85);
    EXPECT_TRUE(params.altSearchRadiiFactors.empty());
    EXPECT_EQ(params.sigmaExp, 5.0f);
    EXPECT_TRUE(params.cloneImage);
    EXPECT_EQ(params.depth, 1u);
    EXPECT_EQ(params.zoomFactor, 1);
    EXPECT_FALSE(params.mode1D);
    EXPECT_EQ(params.varianceFilter.threshold, 0.0);
    EXPECT_EQ(params.varianceFilter.kSize, 3);
    EXPECT_FALSE(params.varianceFilter.greyscale);

    const TrackerCorr::Params::VarianceFilter filter;
    EXPECT_EQ(filter.threshold, 0.0);
    EXPECT_EQ(filter.kSize, 3);
    EXPECT_FALSE(filter.greyscale);
    EXPECT_EQ(SIGMA_EXP_MAX, 5.0f);
}

struct Applied {
    float searchRadiusFactor;
    size_t historyCapacity;
    size_t axisCapacity;
    int zoomFactor;
    bool cloneImage;
};

struct ClampCase {
    const char* name;
    std::function<void(TrackerCorr::Params&)> set;
    Applied applied;
};

class ParamsClamp : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ParamsClamp, TrackerAppliesTheLimits) {
    TrackerCorr::Params params;
    params.cloneImage = false;
    GetParam().set(params);
    const TrackerCorr::Params before = params;

    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    const TrackerCorrImpl& impl = implOf(tracker);
    const Applied& want = GetParam().applied;
    EXPECT_EQ(impl.searchRadiusFactor, want.searchRadiusFactor);
    EXPECT_EQ(impl.history.capacity(), want.historyCapacity);
    EXPECT_EQ(impl.historyX.capacity(), want.axisCapacity);
    EXPECT_EQ(impl.historyY.capacity(), want.axisCapacity);
    EXPECT_EQ(impl.zoomFactor, want.zoomFactor);
    EXPECT_EQ(impl.cloneImage, want.cloneImage);
    // Clamps are never written back into the caller's record.
    EXPECT_EQ(std::memcmp(&params.searchRadiusFactor, &before.searchRadiusFactor, sizeof(float)),
              0);
    EXPECT_EQ(params.depth, before.depth);
    EXPECT_EQ(params.zoomFactor, before.zoomFactor);
    EXPECT_FALSE(params.cloneImage);
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Limits, ParamsClamp,
    ::testing::Values(
        ClampCase{"Defaults", [](auto&) {}, {4.0f, 1, 1, 1, false}},
        ClampCase{"RadiusBelowMinimum",
                  [](auto& p) { p.searchRadiusFactor = 0.5f; },
                  {1.25f, 1, 1, 1, false}},
        ClampCase{"RadiusAtMinimum",
                  [](auto& p) { p.searchRadiusFactor = 1.25f; },
                  {1.25f, 1, 1, 1, false}},
        ClampCase{"RadiusAboveMinimum",
                  [](auto& p) { p.searchRadiusFactor = 6.0f; },
                  {6.0f, 1, 1, 1, false}},
        ClampCase{
            "RadiusNaN", [](auto& p) { p.searchRadiusFactor = kNaN; }, {1.25f, 1, 1, 1, false}},
        ClampCase{"DepthZero", [](auto& p) { p.depth = 0; }, {4.0f, 1, 1, 1, false}},
        ClampCase{"DepthTwoForcesCloning", [](auto& p) { p.depth = 2; }, {4.0f, 2, 1, 1, true}},
        ClampCase{"DepthFive", [](auto& p) { p.depth = 5; }, {4.0f, 5, 1, 1, true}},
        ClampCase{"DepthAboveMaximum", [](auto& p) { p.depth = 1000; }, {4.0f, 32, 1, 1, true}},
        ClampCase{"DepthFivePerAxis",
                  [](auto& p) {
                      p.depth = 5;
                      p.mode1D = true;
                  },
                  {4.0f, 1, 5, 1, true}},
        ClampCase{"DepthZeroPerAxis",
                  [](auto& p) {
                      p.depth = 0;
                      p.mode1D = true;
                  },
                  {4.0f, 1, 1, 1, false}},
        ClampCase{"ZoomZero", [](auto& p) { p.zoomFactor = 0; }, {4.0f, 1, 1, 1, false}},
        ClampCase{"ZoomNegative", [](auto& p) { p.zoomFactor = -3; }, {4.0f, 1, 1, 1, false}},
        ClampCase{"ZoomAtMaximum", [](auto& p) { p.zoomFactor = 20; }, {4.0f, 1, 1, 20, false}},
        ClampCase{"ZoomAboveMaximum", [](auto& p) { p.zoomFactor = 25; }, {4.0f, 1, 1, 20, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Params, TrackerKeepsItsOwnCopies) {
    TrackerCorr::Params params;
    params.altSearchRadiiFactors = {6.0f, 8.0f};
    params.threshold = 0.5;
    params.varianceFilter = {};
    params.varianceFilter.threshold = 20.0;
    params.varianceFilter.kSize = 5;
    params.varianceFilter.greyscale = true;
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    params.altSearchRadiiFactors.push_back(10.0f);
    params.threshold = 0.1;

    const TrackerCorrImpl& impl = implOf(tracker);
    EXPECT_EQ(impl.altSearchRadiiFactors, (std::vector<float>{6.0f, 8.0f}));
    EXPECT_EQ(impl.threshold, 0.5);
    EXPECT_EQ(impl.varianceThreshold, 20.0);
    EXPECT_EQ(impl.effectiveVarianceThreshold, 20.0);
    EXPECT_EQ(impl.varianceRatio, 0.5);
    EXPECT_EQ(impl.varianceSettings.kSize, 5);
    EXPECT_TRUE(impl.varianceSettings.greyscale);
    EXPECT_GE(impl.matchScores.capacity(), 3u);
    EXPECT_TRUE(impl.matchScores.empty());
    EXPECT_EQ(impl.lastVariance, 0.0);
    EXPECT_TRUE(impl.weightMask.empty());
}

TEST(Params, AutoRunsTheFastestEngineTheBuildHas) {
    const TrackerCorr::Engine fastest =
        ZOK_WITH_FFTW ? TrackerCorr::Engine::FFT : TrackerCorr::Engine::OPENCV;
    EXPECT_EQ(TrackerCorr::engineRun(TrackerCorr::Engine::AUTO), fastest);
    EXPECT_EQ(TrackerCorr::engineRun(TrackerCorr::Engine::OPENCV), TrackerCorr::Engine::OPENCV);
    EXPECT_EQ(TrackerCorr::engineRun(TrackerCorr::Engine::FFT), TrackerCorr::Engine::FFT);
    // In every build, and tracking as the engine it stands for does.
    const cv::Mat frame = test::texture({64, 48}, CV_8UC1, 9);
    TrackerCorr::Params params;
    params.engine = TrackerCorr::Engine::AUTO;
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    tracker->init(frame, {20, 15, 12, 10});
    cv::Rect box;
    ASSERT_TRUE(tracker->update(frame, box));
    EXPECT_EQ(box, cv::Rect(20, 15, 12, 10));
}

} // namespace
} // namespace wyr::zok
