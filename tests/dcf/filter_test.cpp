#include <limits>

#include <gtest/gtest.h>

#include "dcf/confidence.hpp"
#include "dcf/filter.hpp"
#include "dcf_test_util.hpp"

namespace wyr::zok {
namespace {

constexpr int SIDE = 32;
constexpr int CHANNELS = 4;

CorrelationFilter trained(int iterations, const std::vector<cv::Mat>& planes) {
    CorrelationFilter filter;
    CorrelationFilter::Settings settings;
    settings.gridSide = SIDE;
    settings.channels = CHANNELS;
    settings.targetCells = cv::Size2f(10, 8);
    settings.iterations = iterations;
    filter.configure(settings);
    filter.loadSample(planes);
    filter.learn(1.0f);
    return filter;
}

struct ShiftCase {
    int iterations;
    int dx, dy;
};

class FilterShift : public ::testing::TestWithParam<ShiftCase> {};

// The content moved by (dx, dy) cells puts the peak there, negative shifts included (they sit
// at the far end of the response), for the plain and the constrained filter alike.
TEST_P(FilterShift, PeakAtTheShift) {
    const ShiftCase c = GetParam();
    const std::vector<cv::Mat> planes = test::randomPlanes(SIDE, CHANNELS, 5);
    CorrelationFilter filter = trained(c.iterations, planes);
    filter.loadSample(test::rolled(planes, c.dx, c.dy));
    cv::Mat response;
    filter.respond(response);
    const ResponsePeak peak = findPeak(response, SIDE / 2 - 1);
    // The window pulls the refined peak of a large shift slightly towards the centre.
    EXPECT_NEAR(peak.shift.x, c.dx, 0.45);
    EXPECT_NEAR(peak.shift.y, c.dy, 0.45);
}

INSTANTIATE_TEST_SUITE_P(Shifts, FilterShift,
                         ::testing::Values(ShiftCase{0, 0, 0}, ShiftCase{0, 3, -2},
                                           ShiftCase{0, -5, 4}, ShiftCase{2, 0, 0},
                                           ShiftCase{2, 2, 3}, ShiftCase{2, -4, -1},
                                           ShiftCase{5, 6, 0}));

// Moving the loaded sample in the Fourier domain moves the peak by as much, whole and half
// cells alike (the learned model is aligned on the target through it), and moving it back
// restores the response.
TEST(FilterShiftSample, MovesThePeak) {
    const std::vector<cv::Mat> planes = test::randomPlanes(SIDE, CHANNELS, 7);
    CorrelationFilter filter = trained(2, planes);
    cv::Mat original, moved;
    filter.loadSample(planes);
    filter.respond(original);
    for (const cv::Point2f shift : {cv::Point2f(3, -2), cv::Point2f(2.5f, 0), cv::Point2f(-1, 4)}) {
        filter.loadSample(planes);
        filter.shiftSample(shift);
        filter.respond(moved);
        const ResponsePeak peak = findPeak(moved, SIDE / 2 - 1);
        EXPECT_NEAR(peak.shift.x, shift.x, 0.2);
        EXPECT_NEAR(peak.shift.y, shift.y, 0.2);
        filter.shiftSample(-shift);
        filter.respond(moved);
        EXPECT_LT(cv::norm(original, moved, cv::NORM_INF), 1e-4 * cv::norm(original, cv::NORM_INF));
    }
}

// Unrelated content gives a low, flat response against the content learned.
TEST(FilterConfidence, NoiseScoresLow) {
    const std::vector<cv::Mat> planes = test::randomPlanes(SIDE, CHANNELS, 9);
    for (const int iterations : {0, 2}) {
        CorrelationFilter filter = trained(iterations, planes);
        cv::Mat response;
        filter.loadSample(test::rolled(planes, 1, 1));
        filter.respond(response);
        const ResponsePeak target = findPeak(response, SIDE / 2 - 1);
        ConfidenceHistory history;
        history.record(target);
        filter.loadSample(test::randomPlanes(SIDE, CHANNELS, 10));
        filter.respond(response);
        const ResponsePeak noise = findPeak(response, SIDE / 2 - 1);
        EXPECT_NEAR(history.confidence(target), 1.0, 1e-9);
        EXPECT_LT(history.confidence(noise), 0.3) << "iterations " << iterations;
    }
}

// A history started afresh (a tracker initialised again) judges as a new one, by the floors
// alone, not against the means of the target it followed before.
TEST(FilterConfidence, HistoryStartedAfreshJudgesAsANewOne) {
    ResponsePeak strong;
    strong.value = 5.0f;
    strong.sharpness = 500.0f;
    ResponsePeak weak;
    weak.value = 0.5f;
    weak.sharpness = 30.0f;
    ConfidenceHistory fresh;
    ConfidenceHistory reused;
    reused.record(strong);
    reused.reset();
    EXPECT_EQ(reused.confidence(weak), fresh.confidence(weak));
}

// The constrained filter keeps (nearly) all of its energy inside the target's box, the plain
// one spreads over the region.
TEST(FilterSupport, ConstrainedFilterStaysInTheBox) {
    const std::vector<cv::Mat> planes = test::randomPlanes(SIDE, CHANNELS, 11);
    const auto responseTo = [&](int iterations, const std::vector<cv::Mat>& content) {
        CorrelationFilter filter = trained(iterations, planes);
        filter.loadSample(content);
        cv::Mat response;
        filter.respond(response);
        return findPeak(response, SIDE / 2 - 1).value;
    };
    // Content outside the box (the box is 10 x 8 cells at the centre) zeroed: the constrained
    // filter's score hardly changes, the plain filter's drops.
    std::vector<cv::Mat> inner;
    for (const cv::Mat& p : planes) {
        cv::Mat q = cv::Mat::zeros(p.size(), p.type());
        const cv::Rect box(SIDE / 2 - 6, SIDE / 2 - 5, 12, 10);
        p(box).copyTo(q(box));
        inner.push_back(q);
    }
    const float constrained = responseTo(4, inner) / responseTo(4, planes);
    const float plain = responseTo(0, inner) / responseTo(0, planes);
    EXPECT_GT(constrained, 0.6f);
    EXPECT_LT(plain, constrained - 0.2f);
}

struct PeakCase {
    int x, y;           // index of the maximum
    float fx, fy;       // true sub-cell offset of a parabolic bump
    cv::Point2f expect; // the shift findPeak gives
};

class PeakFinding : public ::testing::TestWithParam<PeakCase> {};

// Indices past the middle are negative shifts; a parabola's vertex between cells is found.
TEST_P(PeakFinding, WrapsAndRefines) {
    const PeakCase c = GetParam();
    cv::Mat r(16, 16, CV_32F, cv::Scalar(0));
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const float v = 10.0f - (dx - c.fx) * (dx - c.fx) - (dy - c.fy) * (dy - c.fy);
            r.at<float>((c.y + dy + 16) % 16, (c.x + dx + 16) % 16) = v;
        }
    }
    const ResponsePeak peak = findPeak(r, 7);
    EXPECT_NEAR(peak.shift.x, c.expect.x, 1e-4);
    EXPECT_NEAR(peak.shift.y, c.expect.y, 1e-4);
    EXPECT_GT(peak.sharpness, 10.0f);
}

INSTANTIATE_TEST_SUITE_P(Table, PeakFinding,
                         ::testing::Values(PeakCase{0, 0, 0, 0, {0, 0}},
                                           PeakCase{3, 2, 0.25f, -0.3f, {3.25f, 1.7f}},
                                           PeakCase{15, 14, 0, 0, {-1, -2}},
                                           PeakCase{9, 0, -0.4f, 0, {-7.4f, 0}},
                                           PeakCase{0, 15, 0.1f, 0.2f, {0.1f, -0.8f}}));

// Shifts beyond the limit are never taken, however high.
TEST(PeakFindingLimit, IgnoresTheEdge) {
    cv::Mat r(16, 16, CV_32F, cv::Scalar(0));
    r.at<float>(8, 8) = 100.0f; // shift -8, -8: beyond a limit of 6
    r.at<float>(2, 1) = 1.0f;
    const ResponsePeak peak = findPeak(r, 6);
    EXPECT_NEAR(peak.shift.x, 1.0, 1e-6);
    EXPECT_NEAR(peak.shift.y, 2.0, 1e-6);
}

struct NearCase {
    cv::Point2f shift;
    float expect;
};

class ValueNear : public ::testing::TestWithParam<NearCase> {};

// The best score within one cell of a signed shift, wrapping round; beyond the limit, none.
TEST_P(ValueNear, ReadsTheCellsAround) {
    cv::Mat r(16, 16, CV_32F, cv::Scalar(0));
    r.at<float>(14, 3) = 5.0f; // shift (3, -2)
    r.at<float>(0, 15) = 2.0f; // shift (-1, 0)
    EXPECT_EQ(valueNear(r, GetParam().shift, 6), GetParam().expect);
}

INSTANTIATE_TEST_SUITE_P(Table, ValueNear,
                         ::testing::Values(NearCase{{3, -2}, 5.0f}, NearCase{{2.4f, -1.4f}, 5.0f},
                                           NearCase{{4.6f, -2}, 0.0f}, NearCase{{0, 0}, 2.0f},
                                           NearCase{{-0.6f, 0.4f}, 2.0f},
                                           NearCase{{7, 0},
                                                    -std::numeric_limits<float>::infinity()}));

} // namespace
} // namespace wyr::zok
