#include <gtest/gtest.h>

#include "dcf/camera_motion.hpp"
#include "dcf_test_util.hpp"

namespace wyr::zok {
namespace {

struct ShiftCase {
    const char* what;
    cv::Size frame;
    int type;
    cv::Point shift; // of the content from the first frame to the second
    cv::Point2f expect;
    float tolerance;
};

class CameraShift : public ::testing::TestWithParam<ShiftCase> {};

// The content's shift between two views of one scene, in frame pixels, whatever the frame's
// size (shrunk by a whole factor and interpolated), type and channels.
TEST_P(CameraShift, MeasuredInFramePixels) {
    const ShiftCase c = GetParam();
    const cv::Mat scene = test::texture(c.frame + cv::Size(80, 80), c.type, 5);
    const cv::Rect view(40, 40, c.frame.width, c.frame.height);
    CameraMotion camera;
    EXPECT_EQ(camera.measure(scene(view)), cv::Point2f()) << c.what << ": no frame before";
    camera.commit();
    const cv::Point2f shift = camera.measure(scene(view - c.shift));
    EXPECT_NEAR(shift.x, c.expect.x, c.tolerance) << c.what;
    EXPECT_NEAR(shift.y, c.expect.y, c.tolerance) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CameraShift,
    ::testing::Values(
        ShiftCase{"still", {320, 240}, CV_8UC3, {0, 0}, {0, 0}, 0.3f},
        ShiftCase{"pan", {640, 360}, CV_8UC3, {24, -8}, {24, -8}, 2.0f},
        ShiftCase{
            "grey, shrunk by a whole factor", {1280, 720}, CV_8UC1, {-32, 16}, {-32, 16}, 4.0f},
        ShiftCase{"smaller than the shrunk width", {120, 90}, CV_8UC1, {6, 3}, {6, 3}, 1.0f}));

// A measure without commit() changes nothing: the next frame is compared with the last one
// committed, not with a refused one; and a featureless frame gives no shift.
TEST(CameraShiftState, OnlyCommittedFramesCount) {
    const cv::Mat scene = test::texture({480, 320}, CV_8UC1, 6);
    const cv::Rect view(40, 40, 400, 240);
    CameraMotion camera;
    camera.measure(scene(view));
    camera.commit();
    camera.measure(scene(view - cv::Point(20, 0)));
    const cv::Point2f shift = camera.measure(scene(view - cv::Point(10, 0)));
    EXPECT_NEAR(shift.x, 10, 1.5);
    EXPECT_NEAR(shift.y, 0, 1.5);
    camera.commit();
    EXPECT_EQ(camera.measure(cv::Mat(240, 400, CV_8UC1, cv::Scalar(90))), cv::Point2f());
}

} // namespace
} // namespace wyr::zok
