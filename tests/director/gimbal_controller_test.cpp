#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "zok/gimbal_controller.hpp"

namespace wyr::zok {
namespace {

const cv::Size FRAME(640, 480);

GimbalController::Params proportionalOnly() {
    GimbalController::Params p;
    p.integralGain = 0.0;
    p.deadBand = 0.0;
    return p;
}

struct SignCase {
    cv::Point2d offset;
    int pitchSign;
    int yawSign;
};

class GimbalSigns : public ::testing::TestWithParam<SignCase> {};

// The gimbal protocol's signs: yaw right is positive, pitch up is positive; image y grows down.
TEST_P(GimbalSigns, RatesTurnTheCameraTowardsTheTarget) {
    const SignCase c = GetParam();
    auto controller = GimbalController::create();
    const GimbalController::Rates r = controller->update(c.offset, FRAME, 0.05);
    EXPECT_EQ((r.pitch > 0) - (r.pitch < 0), c.pitchSign);
    EXPECT_EQ((r.yaw > 0) - (r.yaw < 0), c.yawSign);
}

INSTANTIATE_TEST_SUITE_P(Offsets, GimbalSigns,
                         ::testing::Values(SignCase{{100, 0}, 0, 1}, SignCase{{-100, 0}, 0, -1},
                                           SignCase{{0, 100}, -1, 0}, SignCase{{0, -100}, 1, 0},
                                           SignCase{{2, -1}, 0, 0}, // inside the dead band
                                           SignCase{{-150, 90}, -1, -1}));

TEST(GimbalController, AnglesFollowThePinholeModel) {
    GimbalController::Params p;
    p.horizontalFov = 90.0;
    auto controller = GimbalController::create(p);
    // The frame's edge is half the field of view away; square pixels share the focal length.
    EXPECT_NEAR(controller->angles({320, 0}, FRAME).yaw, 45.0, 1e-9);
    EXPECT_NEAR(controller->angles({0, 320}, FRAME).pitch, -45.0, 1e-9);
    p.verticalFov = 60.0;
    EXPECT_NEAR(GimbalController::create(p)->angles({0, -240}, FRAME).pitch, 30.0, 1e-9);
}

TEST(GimbalController, ProportionalRateCountsFromTheDeadBandAndStopsAtTheLimit) {
    GimbalController::Params p = proportionalOnly();
    p.horizontalFov = 90.0;
    p.deadBand = 1.0;
    p.maxRate = 30.0;
    auto controller = GimbalController::create(p);
    const double angle = controller->angles({20, 0}, FRAME).yaw;
    EXPECT_NEAR(controller->update({20, 0}, FRAME, 0.1).yaw, 2.0 * (angle - 1.0), 1e-9);
    EXPECT_DOUBLE_EQ(controller->update({320, 0}, FRAME, 0.1).yaw, 30.0);
    EXPECT_DOUBLE_EQ(controller->update({-320, 0}, FRAME, 0.1).yaw, -30.0);
}

TEST(GimbalController, IntegralRemovesLagAndClearsOnLoss) {
    GimbalController::Params p;
    p.deadBand = 0.0;
    auto controller = GimbalController::create(p);
    const double first = controller->update({50, 0}, FRAME, 0.1).yaw;
    const double second = controller->update({50, 0}, FRAME, 0.1).yaw;
    EXPECT_GT(second, first);
    const GimbalController::Rates stopped = controller->lost();
    EXPECT_EQ(stopped.yaw, 0.0);
    EXPECT_EQ(stopped.pitch, 0.0);
    EXPECT_DOUBLE_EQ(controller->update({50, 0}, FRAME, 0.1).yaw, first);
}

TEST(GimbalController, SaturationDoesNotWindUpTheIntegral) {
    GimbalController::Params p;
    p.deadBand = 0.0;
    p.maxRate = 5.0;
    auto controller = GimbalController::create(p);
    for (int i = 0; i < 200; ++i) {
        controller->update({300, 0}, FRAME, 0.1);
    }
    // Past the target, the rate turns round at once instead of unwinding a large integral.
    EXPECT_LT(controller->update({-30, 0}, FRAME, 0.1).yaw, 0.0);
}

// A saturated step from rest integrates nothing, whichever side the target is on: the gimbal must
// not pull harder to one side than to the other.
TEST(GimbalController, SaturationFromRestIsTheSameOnBothSides) {
    GimbalController::Params p;
    p.deadBand = 0.0;
    p.maxRate = 5.0;
    for (const double side : {1.0, -1.0}) {
        auto controller = GimbalController::create(p);
        EXPECT_EQ(controller->update({side * 300, side * 200}, FRAME, 0.1).yaw, side * 5.0);
        const GimbalController::Rates centred = controller->update({0, 0}, FRAME, 0.1);
        EXPECT_EQ(centred.yaw, 0.0) << side;
        EXPECT_EQ(centred.pitch, 0.0) << side;
    }
}

TEST(GimbalController, TimeStepIsClampedAndBadInputLeavesItUnchanged) {
    GimbalController::Params p;
    p.deadBand = 0.0;
    p.proportionalGain = 0.0;
    auto a = GimbalController::create(p);
    auto b = GimbalController::create(p);
    a->update({50, 0}, FRAME, 1e9);
    b->update({50, 0}, FRAME, 1.0);
    EXPECT_DOUBLE_EQ(a->update({50, 0}, FRAME, 0.0).yaw, b->update({50, 0}, FRAME, 0.0).yaw);
    EXPECT_EQ(a->update({50, 0}, FRAME, std::nan("")).yaw, b->update({50, 0}, FRAME, 0.0).yaw);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(a->update({nan, 0}, FRAME, 0.1), cv::Exception);
    EXPECT_THROW(a->update({1, 1}, cv::Size(0, 480), 0.1), cv::Exception);
    EXPECT_DOUBLE_EQ(a->update({50, 0}, FRAME, 0.0).yaw, b->update({50, 0}, FRAME, 0.0).yaw);
}

TEST(GimbalController, ParametersAreClampedAndNaNTakesTheDefault) {
    GimbalController::Params p;
    p.horizontalFov = 500.0;
    p.maxRate = -1.0;
    p.proportionalGain = std::nan("");
    const GimbalController::Params a = GimbalController::create(p)->params();
    EXPECT_EQ(a.horizontalFov, 170.0);
    EXPECT_EQ(a.maxRate, 0.0);
    EXPECT_EQ(a.proportionalGain, GimbalController::Params().proportionalGain);
}

} // namespace
} // namespace wyr::zok
