#include <climits>
#include <limits>

#include <gtest/gtest.h>

#include "geometry/geometry.hpp"
#include "tracker/correlator.hpp"
#include "tracker/sub_pixel.hpp"
#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

struct WindowCase {
    const char* name;
    cv::Size templ;
    float factor;
    cv::Point centre;
    cv::Size image;
    cv::Rect window;
};

class SearchWindow : public ::testing::TestWithParam<WindowCase> {};

TEST_P(SearchWindow, IsCutAndShiftedInsideTheFrame) {
    const WindowCase& c = GetParam();
    EXPECT_EQ(searchWindow(c.templ, c.factor, c.centre, c.image), c.window);
}

const float kInfinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Geometry, SearchWindow,
    ::testing::Values(
        // rx 160, ry 120 around (120, 65): x -40 and y -55 are clamped to 0.
        WindowCase{"TopLeftClamp", {40, 30}, 4.0f, {120, 65}, {640, 480}, {0, 0, 321, 241}},
        WindowCase{"Centred", {40, 30}, 4.0f, {320, 240}, {640, 480}, {160, 120, 321, 241}},
        // A window 101 wide that would start at 580 is shifted left to 640 - 101.
        WindowCase{"RightEdge", {10, 10}, 5.0f, {630, 240}, {640, 480}, {539, 190, 101, 101}},
        WindowCase{"BottomEdge", {10, 10}, 5.0f, {320, 470}, {640, 480}, {270, 379, 101, 101}},
        WindowCase{"FrameSmallerThanWindow", {40, 30}, 4.0f, {50, 40}, {100, 80}, {0, 0, 100, 80}},
        // 7 * 1.25 = 8.75 truncates to 8.
        WindowCase{"Truncation", {7, 9}, 1.25f, {50, 50}, {100, 100}, {42, 39, 17, 23}},
        WindowCase{"InfiniteFactor", {7, 7}, kInfinity, {50, 50}, {100, 80}, {0, 0, 100, 80}},
        WindowCase{"HugeFactor", {40, 30}, 1e30f, {900, -900}, {640, 480}, {0, 0, 640, 480}},
        // A radius near int's limit: the window's 2r + 1 must not overflow before the cut.
        WindowCase{"RadiusNearIntMax", {10, 10}, 1e30f, {5, 5}, {INT_MAX, 7}, {0, 0, INT_MAX, 7}},
        WindowCase{"CentreNearIntMax",
                   {10, 10},
                   1.25f,
                   {INT_MAX - 3, 3},
                   {INT_MAX, 7},
                   {INT_MAX - 25, 0, 25, 7}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShiftInside, MovesLeftAndTopFirst) {
    const cv::Size image(100, 80);
    EXPECT_EQ(shiftInside({-5, -3, 20, 10}, image), cv::Rect(0, 0, 20, 10));
    EXPECT_EQ(shiftInside({95, 75, 20, 10}, image), cv::Rect(80, 70, 20, 10));
    EXPECT_EQ(shiftInside({10, 10, 20, 10}, image), cv::Rect(10, 10, 20, 10));
    // Wider than the frame: the right edge wins.
    EXPECT_EQ(shiftInside({-5, 0, 120, 10}, image), cv::Rect(-20, 0, 120, 10));
}

// A textured background with the target pasted at known places.
struct TwoFrames {
    cv::Mat first;
    cv::Mat second;
};

TwoFrames targetMovedFromTo(const cv::Size& frame, const cv::Rect& from, const cv::Point& to,
                            int type = CV_8UC1) {
    const cv::Mat background = test::texture(frame, type, 11);
    const cv::Mat target = test::texture(from.size(), type, 12);
    TwoFrames frames{background.clone(), background.clone()};
    target.copyTo(frames.first(from));
    target.copyTo(frames.second(cv::Rect(to, from.size())));
    return frames;
}

TEST(Search2D, FindsTheTargetWithTheWindowsGeometry) {
    const TwoFrames frames = targetMovedFromTo({640, 480}, {100, 50, 40, 30}, {80, 35});
    TrackerCorrImpl tracker(TrackerCorr::Params{});
    tracker.init(frames.first, {100, 50, 40, 30});
    ASSERT_EQ(tracker.history.oldest().offset, cv::Point(-200, -175));

    const cv::Rect window = searchWindow({40, 30}, 4.0f, {120, 65}, {640, 480});
    EXPECT_EQ(tracker.correlator
                  ->correlate(frames.second(window), tracker.history.oldest().templ, cv::Mat())
                  .size(),
              cv::Size(282, 212));

    SearchState state;
    const double score = tracker.search2D(frames.second, 4.0f, state);
    EXPECT_GT(score, 0.999);
    EXPECT_EQ(state.position, cv::Point(-220, -190));
    EXPECT_EQ(state.found, cv::Rect(80, 35, 40, 30));
    EXPECT_EQ(state.subPixel, cv::Point(0, 0));
}

TEST(Search2D, FrameSmallerThanTheWindowAndOddSizes) {
    const TwoFrames frames = targetMovedFromTo({61, 47}, {20, 15, 9, 7}, {33, 30});
    TrackerCorrImpl tracker(TrackerCorr::Params{});
    tracker.init(frames.first, {20, 15, 9, 7});
    SearchState state;
    EXPECT_GT(tracker.search2D(frames.second, 10.0f, state), 0.999);
    EXPECT_EQ(state.found, cv::Rect(33, 30, 9, 7));
    EXPECT_EQ(state.position, cv::Point(33 + 4 - 30, 30 + 3 - 23));
}

TEST(Search2D, GivesUpWithoutAUsableTemplateOrFrame) {
    const cv::Mat frame = test::texture({64, 48});
    SearchState untouched;
    untouched.position = {3, 4};
    for (const cv::Size& templ : {cv::Size(6, 20), cv::Size(20, 6), cv::Size(7, 7)}) {
        TrackerCorrImpl tracker(TrackerCorr::Params{});
        tracker.init(frame, cv::Rect(cv::Point(2, 2), templ));
        SearchState state = untouched;
        const double score = tracker.search2D(frame, 4.0f, state);
        if (templ.width < 7 || templ.height < 7) {
            EXPECT_EQ(score, 0.0) << templ;
            EXPECT_EQ(state.position, untouched.position);
        } else {
            EXPECT_GT(score, 0.999);
        }
        EXPECT_EQ(tracker.search2D(cv::Mat(), 4.0f, state), 0.0);
    }
}

struct CarryCase {
    int zoomFactor;
    int remainder;
    int expectedRemainder;
    int expectedMove;
};

class CarrySubPixel : public ::testing::TestWithParam<CarryCase> {};

TEST_P(CarrySubPixel, KeepsTheRemainderWithinHalfAPixel) {
    const CarryCase& c = GetParam();
    int remainder = c.remainder;
    int pixel = 100;
    carrySubPixel(remainder, pixel, c.zoomFactor);
    EXPECT_EQ(remainder, c.expectedRemainder);
    EXPECT_EQ(pixel, 100 + c.expectedMove);
}

INSTANTIATE_TEST_SUITE_P(Remainders, CarrySubPixel,
                         ::testing::Values(CarryCase{4, 1 + 3, 0, 1}, CarryCase{4, 2, 2, 0},
                                           CarryCase{4, -2, -2, 0}, CarryCase{4, -3, 1, -1},
                                           CarryCase{4, 6, 2, 1}, CarryCase{4, -6, -2, -1},
                                           CarryCase{5, 3, -2, 1}, CarryCase{5, -3, 2, -1},
                                           CarryCase{5, 2, 2, 0}, CarryCase{5, 8, -2, 2},
                                           CarryCase{2, 2, 0, 1}, CarryCase{3, -2, 1, -1},
                                           CarryCase{20, 10, 10, 0}, CarryCase{20, 11, -9, 1}));

// A smooth single peak sampled on a grid, its true maximum at `peak`.
cv::Mat paraboloid(const cv::Size& size, const cv::Point2d& peak) {
    cv::Mat response(size, CV_32F);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            const double dx = x - peak.x;
            const double dy = y - peak.y;
            response.at<float>(y, x) = float(1.0 - 0.01 * (dx * dx + dy * dy));
        }
    }
    return response;
}

TEST(RefineSubPixel, FindsTheFractionOfASmoothPeak) {
    const RefinedPeak centred = refineSubPixel(paraboloid({9, 9}, {4, 4}), {4, 4}, 4);
    EXPECT_EQ(centred.offset, cv::Point(0, 0));
    EXPECT_NEAR(centred.value, 1.0, 1e-3);

    const RefinedPeak shifted = refineSubPixel(paraboloid({9, 9}, {4.5, 3.75}), {4, 4}, 4);
    EXPECT_EQ(shifted.offset, cv::Point(2, -1));

    for (const int zoomFactor : {2, 5, 20}) {
        const RefinedPeak refined =
            refineSubPixel(paraboloid({9, 9}, {4.0 + 0.95, 4.0 - 0.95}), {4, 4}, zoomFactor);
        EXPECT_LE(std::abs(refined.offset.x), zoomFactor - 1);
        EXPECT_LE(std::abs(refined.offset.y), zoomFactor - 1);
        EXPECT_GT(refined.offset.x, 0);
        EXPECT_LT(refined.offset.y, 0);
    }
}

TEST(RefineSubPixel, NeedsTwoPixelsOfResponseAroundThePeak) {
    const cv::Mat response = paraboloid({9, 7}, {4, 3});
    for (const cv::Point& peak :
         {cv::Point(1, 3), cv::Point(4, 1), cv::Point(7, 3), cv::Point(4, 5), cv::Point(0, 0)}) {
        const RefinedPeak refined = refineSubPixel(response, peak, 3);
        EXPECT_EQ(refined.value, 0.0) << peak;
        EXPECT_EQ(refined.offset, cv::Point(0, 0)) << peak;
    }
    EXPECT_GT(refineSubPixel(response, {2, 2}, 3).value, 0.0);
    EXPECT_GT(refineSubPixel(response, {6, 4}, 3).value, 0.0);
}

TEST(Search2D, PeakAtTheResponseBorderKeepsTheReferenceRemainder) {
    // The target sits one pixel from the frame's left edge, so its peak is in the response's
    // second column: too close to the border to refine.
    const TwoFrames frames = targetMovedFromTo({120, 90}, {1, 40, 20, 15}, {1, 40});
    TrackerCorr::Params params;
    params.zoomFactor = 3;
    TrackerCorrImpl tracker(params);
    tracker.init(frames.first, {1, 40, 20, 15});
    // Pretend the reference was taken with a remainder of its own.
    tracker.history.push(
        {tracker.history.oldest().templ, tracker.history.oldest().offset, {1, -1}});
    tracker.history.collapse();

    SearchState state;
    const double score = tracker.search2D(frames.second, 4.0f, state);
    EXPECT_GT(score, 0.999);
    EXPECT_LE(score, 1.0 + 1e-6); // unrefined: bicubic overshoot would exceed 1
    EXPECT_EQ(state.subPixel, cv::Point(1, -1));
    EXPECT_EQ(state.found, cv::Rect(1, 40, 20, 15));
}

TEST(Search1D, TakesEachAxisFromItsOwnTemplate) {
    const TwoFrames frames = targetMovedFromTo({200, 150}, {60, 50, 20, 16}, {75, 41});
    TrackerCorr::Params params;
    params.mode1D = true;
    TrackerCorrImpl tracker(params);
    tracker.init(frames.first, {60, 50, 20, 16});
    SearchState state;
    EXPECT_GT(tracker.search1D(frames.second, 4.0f, state), 0.999);
    EXPECT_EQ(state.found, cv::Rect(75, 41, 20, 16));
    EXPECT_EQ(state.position, cv::Point(75 + 10 - 100, 41 + 8 - 75));

    // Without a usable template on either axis the search gives up at once.
    tracker.historyY.push({cv::Mat(), 0, 0});
    tracker.historyY.collapse();
    EXPECT_EQ(tracker.search1D(frames.second, 4.0f, state), 0.0);
}

} // namespace
} // namespace wyr::zok
