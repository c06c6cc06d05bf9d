// The virtual gimbal alone: where its view goes for the rates commanded.
#include <cmath>

#include <gtest/gtest.h>

#include "accuracy/gimbal/virtual_gimbal.hpp"

namespace wyr::zok::accuracy {
namespace {

// A 90-degree camera over a 200 x 100 frame has a focal length of 100 px, so 45 degrees turn
// its view by exactly 100 px from the axis.
const VirtualCamera CAMERA{{200, 100}, {80, 40}, 90.0};
const cv::Point2d AXIS(100, 50);

TEST(VirtualCamera, ViewSharesTheFrameFocalLength) {
    EXPECT_NEAR(100.0, CAMERA.focalLength(), 1e-9);
    // 80 px at 100 px focal length span 2 atan(0.4).
    EXPECT_NEAR(2 * std::atan(0.4) * 180 / CV_PI, CAMERA.viewFov(), 1e-9);
}

struct TravelCase {
    const char* name;
    cv::Point2d aim;
    GimbalController::Rates rates; // held for one second
    cv::Point origin;              // of the view afterwards
};

void PrintTo(const TravelCase& c, std::ostream* os) {
    *os << c.name;
}

class Travel : public ::testing::TestWithParam<TravelCase> {};

TEST_P(Travel, ViewMovesThroughTheFocalLengthAndStopsAtTheFrameEdge) {
    const TravelCase& c = GetParam();
    VirtualGimbal gimbal(CAMERA, 0, c.aim);
    for (int i = 0; i < 10; ++i) {
        gimbal.command(c.rates, 0.1);
    }
    EXPECT_EQ(cv::Rect(c.origin, CAMERA.view), gimbal.view());
}

// The view's centre pixel is the frame's (100, 50) at rest, so its origin is (60, 30); it
// ranges over x 0..120 and y 0..60.
INSTANTIATE_TEST_SUITE_P(
    VirtualGimbal, Travel,
    ::testing::Values(TravelCase{"AtRest", AXIS, {0, 0}, {60, 30}},
                      // atan(20 / 100) degrees a second for one second: 20 px right.
                      TravelCase{"YawRight", AXIS, {0, std::atan(0.2) * 180 / CV_PI}, {80, 30}},
                      // Pitch up moves the view up the frame.
                      TravelCase{"PitchUp", AXIS, {std::atan(0.1) * 180 / CV_PI, 0}, {60, 20}},
                      TravelCase{"StopsAtRightEdge", AXIS, {0, 500}, {120, 30}},
                      TravelCase{"StopsAtLeftEdge", AXIS, {0, -500}, {0, 30}},
                      TravelCase{"StopsAtTop", AXIS, {500, 0}, {60, 0}},
                      TravelCase{"StopsAtBottom", AXIS, {-500, 0}, {60, 60}},
                      TravelCase{"StartsClampedInTheCorner", {-50, 500}, {0, 0}, {0, 60}}));

TEST(VirtualGimbal, LeavesTheEdgeAsSoonAsTheRateReverses) {
    VirtualGimbal gimbal(CAMERA, 0, AXIS);
    gimbal.command({0, 500}, 1.0);
    ASSERT_EQ(120, gimbal.view().x);
    // The travel stop holds the pointing itself: 5 degrees back from atan(0.6) put the view's
    // centre at 100 + 100 tan(atan(0.6) - 5 deg) = 148.7.
    gimbal.command({0, -5}, 1.0);
    EXPECT_EQ(149 - 40, gimbal.view().x);
}

class Delay : public ::testing::TestWithParam<int> {};

TEST_P(Delay, ACommandMovesTheViewOfTheFrameAfterItsDelay) {
    const int delay = GetParam();
    VirtualGimbal gimbal(CAMERA, delay, AXIS);
    const GimbalController::Rates right{0, std::atan(0.3) * 180 / CV_PI};
    // Frame 0 is seen, the command sent; then nothing more.
    std::vector<int> xs{gimbal.view().x};
    for (int frame = 0; frame < 5; ++frame) {
        gimbal.command(frame == 0 ? right : GimbalController::Rates{}, 1.0);
        xs.push_back(gimbal.view().x); // the view of frame + 1
    }
    std::vector<int> expected(6, 60);
    for (size_t k = size_t(delay) + 1; k < expected.size(); ++k) {
        expected[k] = 90;
    }
    EXPECT_EQ(expected, xs);
}

INSTANTIATE_TEST_SUITE_P(VirtualGimbal, Delay, ::testing::Values(0, 1, 2));

TEST(VirtualGimbal, RefusesAViewLargerThanTheFrameAndANegativeDelay) {
    EXPECT_THROW(VirtualGimbal(VirtualCamera{{200, 100}, {201, 40}, 90.0}, 0, AXIS), cv::Exception);
    EXPECT_THROW(VirtualGimbal(VirtualCamera{{200, 100}, {0, 40}, 90.0}, 0, AXIS), cv::Exception);
    EXPECT_THROW(VirtualGimbal(CAMERA, -1, AXIS), cv::Exception);
    EXPECT_THROW(VirtualGimbal(VirtualCamera{{200, 100}, {80, 40}, NAN}, 0, AXIS), cv::Exception);
}

} // namespace
} // namespace wyr::zok::accuracy
