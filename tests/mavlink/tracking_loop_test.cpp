#include <gtest/gtest.h>

#include "mavlink/tracking_loop.hpp"
#include "recommended_config.hpp"
#include "synthetic/synthetic.hpp"

namespace zok_mavlink {
namespace {

const cv::Size FRAME(640, 480);

struct BoxCase {
    const char* name;
    TrackRequest request;
    cv::Rect expected;
};

TrackRequest rectangle(double left, double top, double right, double bottom) {
    TrackRequest r;
    r.kind = TrackRequest::Kind::Rectangle;
    r.box = {left, top, right, bottom};
    return r;
}

TrackRequest point(double x, double y, double radius) {
    TrackRequest r;
    r.kind = TrackRequest::Kind::Point;
    r.x = x;
    r.y = y;
    r.radius = radius;
    return r;
}

class RequestBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(RequestBoxes, LieInsideTheFrameAndAreBigEnoughToTrack) {
    const cv::Rect box = requestBox(GetParam().request, FRAME);
    EXPECT_EQ(box, GetParam().expected);
    EXPECT_EQ(box & cv::Rect(cv::Point(), FRAME), box);
}

INSTANTIATE_TEST_SUITE_P(
    TrackingLoop, RequestBoxes,
    ::testing::Values(
        BoxCase{"Rectangle", rectangle(0.25, 0.5, 0.5, 0.75), {160, 240, 160, 120}},
        BoxCase{"WholeFrame", rectangle(0, 0, 1, 1), {0, 0, 640, 480}},
        BoxCase{"TinyGrowsAroundItsCentre", rectangle(0.5, 0.5, 0.501, 0.501), {312, 232, 16, 16}},
        BoxCase{"TinyAtTheCornerStaysInside", rectangle(0.999, 0.999, 1, 1), {624, 464, 16, 16}},
        BoxCase{"PointRadiusInWidths", point(0.5, 0.5, 0.05), {288, 208, 64, 64}},
        BoxCase{"PointOfOnePixel", point(0, 0, 0), {0, 0, 16, 16}},
        BoxCase{"PointBiggerThanTheFrame", point(0.5, 0.5, 1), {0, 0, 640, 480}}),
    [](const ::testing::TestParamInfo<BoxCase>& info) { return info.param.name; });

// A textured target right of and below the centre, then hidden, then stopped.
TEST(TrackingLoop, StartsSteersStopsTheGimbalOnLossAndStops) {
    wyr::zok::synthetic::SceneOptions options;
    options.type = CV_8UC3;
    const wyr::zok::synthetic::Scene scene(options);
    const cv::Point2d at(420, 300);
    // The recommended configuration reports a hidden target lost.
    TrackingLoop loop(
        zok_track::ChosenTracker(zok_track::TrackerKind::Corr, zok_track::recommendedParams(), {}),
        {});

    TrackingLoop::Step step = loop.process(scene.render(at), 0, std::nullopt, 0.04);
    EXPECT_EQ(step.report.state, TrackReport::State::Idle);
    EXPECT_FALSE(step.result);
    EXPECT_EQ(step.report.frameWidth, 640);

    step = loop.process(scene.render(at), 1,
                        rectangle(420 / 640.0, 300 / 480.0, 460 / 640.0, 330 / 480.0), 0.04);
    ASSERT_EQ(step.report.state, TrackReport::State::Tracking);
    ASSERT_TRUE(step.result);
    EXPECT_EQ(step.result->box, cv::Rect(420, 300, 40, 30));
    EXPECT_EQ(step.result->offset, cv::Point(120, 75));
    EXPECT_GT(step.report.yawRate, 0.0);
    EXPECT_LT(step.report.pitchRate, 0.0);

    step = loop.process(scene.render(at), 2, std::nullopt, 0.04);
    EXPECT_EQ(step.report.state, TrackReport::State::Tracking);
    EXPECT_NEAR(step.report.box.left, 420 / 640.0, 1e-9);
    EXPECT_GT(step.report.yawRate, 0.0);

    step = loop.process(scene.render(at, false), 3, std::nullopt, 0.04);
    EXPECT_EQ(step.report.state, TrackReport::State::Lost);
    EXPECT_EQ(step.report.yawRate, 0.0);
    EXPECT_EQ(step.report.pitchRate, 0.0);
    ASSERT_TRUE(step.result);
    EXPECT_FALSE(step.result->found);
    EXPECT_EQ(step.result->offset, cv::Point(120, 75)) << "the last offset found, as zok-track";

    TrackRequest stop;
    step = loop.process(scene.render(at), 4, stop, 0.04);
    EXPECT_EQ(step.report.state, TrackReport::State::Idle);
    EXPECT_FALSE(step.result);
}

} // namespace
} // namespace zok_mavlink
