#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "dcf/response_variation.hpp"

namespace wyr::zok {
namespace {

constexpr int SIDE = 48;

// A response as the filter gives it: index (y, x) scores a shift of (x, y) cells, wrapping
// round; a Gaussian peak of `height` and width `sigma` at `shift`, over a fixed ripple (seeded)
// that moves with the peak, as the target's surroundings do.
cv::Mat response(const cv::Point& shift, float height = 1.0f, float sigma = 1.5f) {
    cv::Mat ripple(SIDE, SIDE, CV_32F);
    cv::RNG rng(11);
    rng.fill(ripple, cv::RNG::UNIFORM, -0.05, 0.05);
    cv::Mat r(SIDE, SIDE, CV_32F);
    for (int y = 0; y < SIDE; ++y) {
        for (int x = 0; x < SIDE; ++x) {
            // Offsets from the peak, wrapping round, so that a negative shift sits at the far end.
            const int dx = ((x - shift.x) % SIDE + SIDE + SIDE / 2) % SIDE - SIDE / 2;
            const int dy = ((y - shift.y) % SIDE + SIDE + SIDE / 2) % SIDE - SIDE / 2;
            const float g = std::exp(-float(dx * dx + dy * dy) / (2 * sigma * sigma));
            r.at<float>(y, x) =
                height * (g + ripple.at<float>((dy + SIDE) % SIDE, (dx + SIDE) % SIDE));
        }
    }
    return r;
}

ResponsePeak peakOf(const cv::Mat& r) {
    return findPeak(r, SIDE / 2 - 1);
}

struct VariationCase {
    const char* what;
    std::function<cv::Mat()> next; // the response after response({0, 0})
    bool high;
};

class VariationOfShape : public ::testing::TestWithParam<VariationCase> {};

// Only the peak's shape counts: neither where it lies (at a positive or a negative, far-end
// shift) nor how high it is.
TEST_P(VariationOfShape, HighOnlyWhenTheShapeChanges) {
    const VariationCase c = GetParam();
    ResponseVariation v;
    v.reset();
    const cv::Mat first = response({0, 0});
    EXPECT_EQ(v.measure(first, peakOf(first)), 0.0) << "nothing to compare with yet";
    v.keep();
    const cv::Mat next = c.next();
    const double variation = v.measure(next, peakOf(next));
    if (c.high) {
        EXPECT_GT(variation, 1e-3) << c.what;
    } else {
        EXPECT_LT(variation, 1e-9) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, VariationOfShape,
                         ::testing::Values(VariationCase{"unchanged",
                                                         [] {
                                                             return response({0, 0});
                                                         },
                                                         false},
                                           VariationCase{"moved",
                                                         [] {
                                                             return response({5, 3});
                                                         },
                                                         false},
                                           VariationCase{"moved to a negative shift",
                                                         [] {
                                                             return response({-7, -2});
                                                         },
                                                         false},
                                           VariationCase{"moved and lower",
                                                         [] {
                                                             return response({2, -1}, 0.4f);
                                                         },
                                                         false},
                                           VariationCase{"wider",
                                                         [] {
                                                             return response({0, 0}, 1.0f, 3.0f);
                                                         },
                                                         true},
                                           VariationCase{"a second peak beside it",
                                                         [] {
                                                             cv::Mat r = response({0, 0});
                                                             r += response({4, 0}, 0.8f);
                                                             return r;
                                                         },
                                                         true}));

// The ratio is judged against the kept frames' mean only, once a few were kept; a frame not
// kept is no reference, and forget() leaves none.
TEST(VariationRatio, JudgedAgainstTheKeptFrames) {
    ResponseVariation v;
    v.reset();
    // Alternating widths give a steady, small variation wherever the peak lies.
    for (int i = 0; i < 12; ++i) {
        const cv::Mat r = response({i % 3, -(i % 2)}, 1.0f, i % 2 ? 1.5f : 2.0f);
        v.measure(r, peakOf(r));
        if (i < 6) {
            EXPECT_EQ(v.ratio(), 0.0) << "judged after " << i << " frames";
        }
        v.keep();
    }
    const cv::Mat usual = response({0, 0}, 1.0f, 2.0f);
    const cv::Mat occluded = response({0, 0}, 1.0f, 4.0f);
    v.measure(usual, peakOf(usual));
    EXPECT_NEAR(v.ratio(), 1.0, 0.01);
    v.measure(occluded, peakOf(occluded));
    const double aberration = v.ratio();
    EXPECT_GT(aberration, 4.0);
    // Not kept, the occluded response is no reference: the next usual one is compared with the
    // last kept, and the mean has not moved.
    v.measure(usual, peakOf(usual));
    EXPECT_NEAR(v.ratio(), 1.0, 0.01);
    v.forget();
    const cv::Mat narrow = response({0, 0}, 1.0f, 1.5f); // the shape last kept
    v.measure(narrow, peakOf(narrow));
    EXPECT_EQ(v.ratio(), 0.0);
    // Kept without a measure, a response becomes the reference but leaves the mean alone.
    v.keep();
    v.measure(occluded, peakOf(occluded));
    EXPECT_NEAR(v.ratio(), aberration, 1e-6 * aberration) << "the mean moved";
}

// A response of another size (a tracker started afresh on another grid) has nothing to compare
// with: its measure is 0, and nothing is read beyond the smaller map.
TEST(VariationRatio, OtherSizeIsNoReference) {
    ResponseVariation v;
    v.reset();
    const cv::Mat small = response({0, 0})(cv::Rect(0, 0, 32, 32)).clone();
    v.measure(small, findPeak(small, 15));
    v.keep();
    const cv::Mat large = response({3, 3});
    EXPECT_EQ(v.measure(large, peakOf(large)), 0.0);
    v.keep();
    EXPECT_LT(v.measure(large, peakOf(large)), 1e-9);
}

} // namespace
} // namespace wyr::zok
