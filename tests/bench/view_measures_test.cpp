// The closed loop's measures on hand-made views whose scores are known exactly.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "accuracy/gimbal/view_measures.hpp"

namespace wyr::zok::accuracy {
namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

struct MeasureCase {
    const char* name;
    // The target's centre in a 90 x 60 view at the origin, frame by frame (frame 0 the start);
    // NaN for a frame without a box.
    std::vector<cv::Point2d> centres;
    size_t inView, inCentralThird, keptFrames;
    double meanError;
};

void PrintTo(const MeasureCase& c, std::ostream* os) {
    *os << c.name;
}

class Measures : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(Measures, CountTheFramesThatKeptTheTarget) {
    const MeasureCase& c = GetParam();
    const size_t n = c.centres.size();
    std::vector<cv::Rect2d> views(n, {0, 0, 90, 60}), truth;
    std::vector<bool> scored;
    for (const cv::Point2d& p : c.centres) {
        truth.emplace_back(p.x - 2, p.y - 3, 4, 6);
        scored.push_back(!std::isnan(p.x));
    }
    // The same frames with the view and the target moved together score the same.
    for (const cv::Point2d shift : {cv::Point2d(), cv::Point2d(300.5, -40)}) {
        std::vector<cv::Rect2d> v = views, t = truth;
        for (size_t k = 0; k < n; ++k) {
            v[k] += shift;
            t[k] += shift;
        }
        const ViewScore s = scoreViews(v, t, scored, 0);
        EXPECT_EQ(n, s.frames);
        EXPECT_EQ(c.inView, s.inView);
        EXPECT_EQ(c.inCentralThird, s.inCentralThird);
        EXPECT_EQ(c.keptFrames, s.keptFrames);
        EXPECT_EQ(c.keptFrames < n, s.lostForGood());
        if (std::isnan(c.meanError)) {
            EXPECT_TRUE(std::isnan(s.meanError));
        } else {
            EXPECT_NEAR(c.meanError, s.meanError, 1e-9);
        }
    }
}

// The view's centre is (45, 30); its central third spans x 30..60 and y 20..40, edges included.
INSTANTIATE_TEST_SUITE_P(
    ViewScore, Measures,
    ::testing::Values(
        MeasureCase{"Centred", {{45, 30}, {45, 30}, {48, 34}}, 2, 2, 3, 2.5},
        MeasureCase{"ThirdEdgesIncluded",
                    {{45, 30}, {30, 20}, {60, 40}, {60.5, 30}},
                    3,
                    2,
                    4,
                    (std::hypot(15, 10) * 2 + 15.5) / 3},
        // The view's far edges belong outside it.
        MeasureCase{"LeavesAndComesBack",
                    {{45, 30}, {90, 30}, {45, 60}, {0, 0}},
                    1,
                    0,
                    4,
                    std::hypot(45, 30)},
        MeasureCase{
            "LeavesForGood", {{45, 30}, {45, 30}, {50, 30}, {95, 30}, {-1, 30}}, 2, 2, 3, 2.5},
        MeasureCase{"NeverSeenAgain", {{45, 30}, {100, 30}, {100, 30}}, 0, 0, 1, NaN},
        // Frames without a box count for nothing, not even the end.
        MeasureCase{"UnannotatedTail", {{45, 30}, {45, 30}, {NaN, NaN}, {NaN, NaN}}, 1, 1, 4, 0},
        MeasureCase{"UnannotatedBetween", {{45, 30}, {NaN, NaN}, {200, 30}}, 0, 0, 1, NaN}));

TEST(ViewScore, StartsWhereTheRunStarts) {
    // Frames before the start (the target not yet annotated) count for nothing.
    const std::vector<cv::Rect2d> views(4, {0, 0, 90, 60});
    const std::vector<cv::Rect2d> truth = {
        {NaN, NaN, NaN, NaN}, {43, 27, 4, 6}, {43, 27, 4, 6}, {200, 27, 4, 6}};
    const ViewScore s = scoreViews(views, truth, {false, true, true, true}, 1);
    EXPECT_EQ(size_t(3), s.frames);
    EXPECT_EQ(size_t(2), s.scored);
    EXPECT_EQ(size_t(2), s.keptFrames);
    EXPECT_DOUBLE_EQ(0.5, s.centralThirdShare());
    EXPECT_DOUBLE_EQ(2.0 / 3, s.keptShare());
}

} // namespace
} // namespace wyr::zok::accuracy
