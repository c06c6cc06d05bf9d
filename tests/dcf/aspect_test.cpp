// The box's shape: the aspect filter's bounds, and the tracker's box following a target whose
// width and height change apart.
#include <cmath>

#include <gtest/gtest.h>

#include "dcf/aspect_filter.hpp"
#include "dcf/tracker_dcf_impl.hpp"
#include "dcf_test_util.hpp"

namespace wyr::zok {
namespace {

// ---- Bounds -----------------------------------------------------------------------------

struct BoundCase {
    const char* name;
    cv::Size2f base;
    float limit;
    float longestSide;
    float low, high; // the aspects the bounds allow
};

void PrintTo(const BoundCase& c, std::ostream* os) {
    *os << c.name;
}

class AspectBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(AspectBounds, HoldTheLimitAndTheRegion) {
    const BoundCase c = GetParam();
    AspectFilter filter;
    AspectFilter::Settings settings;
    settings.base = c.base;
    settings.limit = c.limit;
    settings.longestSide = c.longestSide;
    filter.configure(settings);
    EXPECT_NEAR(filter.bounded(100.0f), c.high, 1e-4) << c.name;
    EXPECT_NEAR(filter.bounded(0.01f), c.low, 1e-4) << c.name;
    EXPECT_EQ(filter.bounded(1.0f), 1.0f) << c.name;
    // Either way, the box's sides stay within the longest side.
    for (const float a : {c.low, c.high}) {
        const cv::Size2f s = AspectFilter::shaped(c.base, a);
        EXPECT_LE(std::max(s.width, s.height), c.longestSide * 1.0001f) << c.name;
        EXPECT_NEAR(s.area(), c.base.area(), c.base.area() * 1e-4) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AspectBounds,
    ::testing::Values(
        // A square in a wide region: the limit binds both ways.
        BoundCase{"limit", {20, 20}, 3.0f, 64.0f, 1.0f / 3.0f, 3.0f},
        // A wide box: widening it further reaches the region's side first, at (40 / 30)^2.
        BoundCase{"region_wide", {30, 10}, 3.0f, 40.0f, 1.0f / 3.0f, 16.0f / 9.0f},
        // A tall box: narrowing it makes it taller, to the region's side at (40 / 80)^2; it may
        // widen to (80 / 10)^2.
        BoundCase{"region_tall", {10, 40}, 100.0f, 80.0f, 0.25f, 64.0f},
        // A limit of 1 keeps the first shape.
        BoundCase{"fixed", {20, 20}, 1.0f, 64.0f, 1.0f, 1.0f}),
    [](const ::testing::TestParamInfo<BoundCase>& info) { return info.param.name; });

// ---- Following the shape ----------------------------------------------------------------

struct ShapeCase {
    const char* name;
    cv::Size2d growth; // of the target's width and height over the sequence
    float limit;       // Params::aspectLimit
};

void PrintTo(const ShapeCase& c, std::ostream* os) {
    *os << c.name;
}

class ShapeFollowing : public ::testing::TestWithParam<ShapeCase> {};

double iou(const cv::Rect2d& a, const cv::Rect2d& b) {
    const double inter = (a & b).area();
    return inter / (a.area() + b.area() - inter);
}

// A target whose width grows as its height shrinks (or the reverse), or one side only, steadily
// over the sequence, tracked with the aspect filter and without. The shape never feeds back
// into the search: both trackers find the target at the same places on the same frames. The
// box leans the way the target went, stays within the limit, and overlaps the target at least
// as well as the box of the first shape does.
TEST_P(ShapeFollowing, BoxLeansToTheTargetsShape) {
    const ShapeCase c = GetParam();
    constexpr int FRAMES = 50;
    const cv::Size first(40, 40);
    const cv::Mat background = test::texture({320, 240}, CV_8UC3, 70);
    cv::Mat pattern;
    cv::resize(test::texture({20, 20}, CV_8UC3, 71), pattern, first, 0, 0, cv::INTER_NEAREST);
    const cv::Point2d centre(160, 120);
    const auto truthAt = [&](int k) {
        const double t = double(k) / (FRAMES - 1);
        const cv::Size2d size(first.width * std::pow(c.growth.width, t),
                              first.height * std::pow(c.growth.height, t));
        return cv::Rect2d(centre.x - size.width / 2, centre.y - size.height / 2, size.width,
                          size.height);
    };
    const auto frameAt = [&](int k) {
        const cv::Rect2d t = truthAt(k);
        cv::Mat target;
        cv::resize(pattern, target, cv::Size(int(std::lround(t.width)), int(std::lround(t.height))),
                   0, 0, cv::INTER_NEAREST);
        return test::compose(background, target, centre);
    };
    TrackerDcf::Params params;
    params.aspectFilter = true;
    params.aspectLimit = c.limit;
    TrackerDcfImpl shaped(params);
    params.aspectFilter = false;
    TrackerDcfImpl fixed(params);
    shaped.init(frameAt(0), cv::Rect(truthAt(0)));
    fixed.init(frameAt(0), cv::Rect(truthAt(0)));
    cv::Rect a, b;
    for (int k = 1; k < FRAMES; ++k) {
        const cv::Mat frame = frameAt(k);
        const bool foundA = shaped.update(frame, a);
        const bool foundB = fixed.update(frame, b);
        ASSERT_TRUE(foundA && foundB) << c.name << " frame " << k;
        ASSERT_EQ(shaped.centre(), fixed.centre()) << c.name << " frame " << k;
    }
    const cv::Rect2d truth = truthAt(FRAMES - 1);
    const double aspect = double(a.width) / a.height;
    const double stretch = c.growth.width / c.growth.height;
    EXPECT_LE(std::abs(std::log(aspect)), std::log(c.limit) + 0.05) << c.name;
    if (c.limit > 1) {
        EXPECT_GT(std::log(aspect) * std::log(stretch), 0.0) << c.name;
        EXPECT_GE(iou(a, truth), iou(b, truth)) << c.name;
    } else {
        EXPECT_EQ(a, b) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generated, ShapeFollowing,
    ::testing::Values(ShapeCase{"widening", {1.6, 0.8}, 3.0f},
                      ShapeCase{"narrowing", {0.8, 1.6}, 3.0f},
                      ShapeCase{"widening_at_one_area", {1.41, 0.71}, 3.0f},
                      ShapeCase{"narrowing_at_one_area", {0.71, 1.41}, 3.0f},
                      ShapeCase{"widening_held_to_the_first_shape", {1.6, 0.8}, 1.0f}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return info.param.name; });

} // namespace
} // namespace wyr::zok
