// The first box's support cut by motion: which cells are left out, and when none may be.
#include <gtest/gtest.h>

#include "dcf/motion_support.hpp"
#include "dcf_test_util.hpp"

namespace wyr::zok {
namespace {

// A 24-pixel target centred at (80, 60) in a 36-pixel box (6 pixels of background on each
// side), over a textured scene, in a region of 144 pixels on a grid of 48 cells (3 pixels).
const cv::Point2f CENTRE(80, 60);
constexpr float BOX_HALF = 18, TARGET_HALF = 12, SIDE = 144;
constexpr int CELLS = 48;

struct MoveCase {
    const char* what;
    cv::Point background; // moves of the scene and of the target, first frame to second
    cv::Point target;
    int type;
    bool flat; // a scene and target of one grey level
    bool cut;
};

class FirstBoxMotion : public ::testing::TestWithParam<MoveCase> {};

TEST_P(FirstBoxMotion, CutsOnlyBackgroundThatMovesWithItsSurroundings) {
    const MoveCase c = GetParam();
    const cv::Size size(200, 160);
    cv::Mat scene = test::texture(size + cv::Size(40, 40), CV_8UC3, 3);
    cv::Mat target = test::texture(cv::Size(24, 24), CV_8UC3, 9);
    if (c.flat) {
        scene.setTo(cv::Scalar::all(90));
        target.setTo(cv::Scalar::all(90));
    }
    const auto frame = [&](cv::Point background, cv::Point moved) {
        const cv::Rect view(cv::Point(20, 20) - background, size);
        cv::Mat f = test::compose(scene(view), target, cv::Point2d(CENTRE) + cv::Point2d(moved));
        if (c.type == CV_32FC3) {
            f.convertTo(f, CV_32F, 1.0 / 255);
        }
        return f;
    };
    cv::Mat support(CELLS, CELLS, CV_32F, cv::Scalar(0));
    const float cell = SIDE / CELLS;
    const auto centreOf = [&](int x, int y) {
        return CENTRE + cv::Point2f(x + 0.5f - CELLS / 2.0f, y + 0.5f - CELLS / 2.0f) * cell;
    };
    for (int y = 0; y < CELLS; ++y) {
        for (int x = 0; x < CELLS; ++x) {
            const cv::Point2f d = centreOf(x, y) - CENTRE;
            support.at<float>(y, x) = std::abs(d.x) < BOX_HALF && std::abs(d.y) < BOX_HALF;
        }
    }

    MotionSupport motion;
    motion.start(frame({0, 0}, {0, 0}), CENTRE, SIDE, CELLS);
    // A float frame of one level has no range to map onto 8 bits: nothing is kept.
    EXPECT_EQ(motion.pending(), !(c.flat && c.type == CV_32FC3)) << c.what;
    cv::Mat cut;
    ASSERT_EQ(motion.cut(frame(c.background, c.target), support, cut), c.cut) << c.what;
    EXPECT_FALSE(motion.pending()) << c.what << ": once only";
    if (!c.cut) {
        return;
    }
    int removed = 0;
    for (int y = 0; y < CELLS; ++y) {
        for (int x = 0; x < CELLS; ++x) {
            if (support.at<float>(y, x) == 0) {
                EXPECT_EQ(cut.at<float>(y, x), 0.0f) << c.what << ": only the box's cells";
                continue;
            }
            if (cut.at<float>(y, x) == 0) {
                ++removed;
                // A cell well inside the target moves with it: never cut.
                const cv::Point2f d = centreOf(x, y) - CENTRE;
                EXPECT_FALSE(std::abs(d.x) < TARGET_HALF - 4 && std::abs(d.y) < TARGET_HALF - 4)
                    << c.what << ": cell (" << x << ", " << y << ") of the target cut";
            }
        }
    }
    EXPECT_GE(removed, 10) << c.what << ": the box's margin of background is cut";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirstBoxMotion,
    ::testing::Values(
        MoveCase{"target walks over a still scene", {0, 0}, {4, 0}, CV_8UC3, false, true},
        MoveCase{"float frames", {0, 0}, {4, 0}, CV_32FC3, false, true},
        MoveCase{"scene streams behind a followed target", {-5, -2}, {0, 0}, CV_8UC3, false, true},
        MoveCase{"nothing moves", {0, 0}, {0, 0}, CV_8UC3, false, false},
        MoveCase{"target moves with the scene", {3, 1}, {3, 1}, CV_8UC3, false, false},
        MoveCase{"nothing to follow", {0, 0}, {4, 0}, CV_8UC3, true, false},
        MoveCase{"float frames of one level", {0, 0}, {4, 0}, CV_32FC3, true, false}));

} // namespace
} // namespace wyr::zok
