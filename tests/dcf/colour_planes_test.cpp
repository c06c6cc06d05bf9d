#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "dcf/colour_planes.hpp"
#include "dcf/features.hpp"
#include "dcf_test_util.hpp"
#include "feature_test_util.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok {
namespace {

constexpr int SIDE = 64; // sample pixels, 16 cells of 4
const cv::Size CELLS(SIDE / DCF_CELL_SIZE, SIDE / DCF_CELL_SIZE);

std::vector<cv::Mat> colourPlanesOf(const cv::Mat& sample) {
    std::vector<cv::Mat> planes(ColourPlanes::kPlanes + 1);
    ColourPlanes().compute(sample, CELLS, planes, 1);
    planes.erase(planes.begin());
    return planes;
}

// A colour texture on the 8-bit scale, its values kept in 40..200 so that a change of light
// saturates nothing.
cv::Mat colourTexture(uint64_t seed) {
    cv::Mat t = test::texture({SIDE, SIDE}, CV_8UC3, seed);
    t.convertTo(t, CV_32FC3, 160.0 / 255.0, 40.0);
    return t;
}

cv::Mat greyTexture(uint64_t seed) {
    cv::Mat grey = test::texture({SIDE, SIDE}, CV_8UC1, seed), bgr;
    cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
    return bgr;
}

// A flat patch of one BGR colour.
cv::Mat flat(const cv::Scalar& bgr, int type = CV_8UC3) {
    return cv::Mat(SIDE, SIDE, type, bgr);
}

// A square of one BGR colour, half the patch across, on a grey texture.
cv::Mat squareOn(const cv::Scalar& bgr, int type = CV_8UC3) {
    cv::Mat patch;
    greyTexture(11).convertTo(patch, type);
    patch(cv::Rect(SIDE / 4, SIDE / 4, SIDE / 2, SIDE / 2)).setTo(bgr);
    return patch;
}

// Float pixels as far as the tracker takes them, of every sign in every channel.
cv::Mat extremes() {
    cv::Mat patch(SIDE, SIDE, CV_32FC3);
    cv::RNG rng(12);
    rng.fill(patch, cv::RNG::UNIFORM, -1e9, 1e9);
    return patch;
}

double spread(const cv::Mat& plane) {
    double lo = 0, hi = 0;
    cv::minMaxLoc(plane, &lo, &hi);
    return hi - lo;
}

// ---- Properties of the colour planes --------------------------------------------------------

enum class Expect { FLAT, ALIKE, APART, FINITE };

struct PlanesCase {
    const char* name;
    std::function<cv::Mat()> first;
    std::function<cv::Mat()> second; // compared with the first for ALIKE and APART
    Expect expect;
};

class ColourPlaneProperties : public ::testing::TestWithParam<PlanesCase> {};

TEST_P(ColourPlaneProperties, Hold) {
    const PlanesCase c = GetParam();
    const std::vector<cv::Mat> a = colourPlanesOf(c.first());
    ASSERT_EQ(a.size(), size_t(ColourPlanes::kPlanes));
    for (const cv::Mat& p : a) {
        ASSERT_EQ(p.size(), CELLS);
        ASSERT_EQ(p.type(), CV_32FC1);
        ASSERT_TRUE(cv::checkRange(p));
    }
    if (c.expect == Expect::FINITE) {
        return;
    }
    if (c.expect == Expect::FLAT) {
        for (const cv::Mat& p : a) {
            EXPECT_LT(spread(p), 1e-6) << c.name;
        }
        return;
    }
    const std::vector<cv::Mat> b = colourPlanesOf(c.second());
    // Against the planes' own range: a cell wholly of one hue reads 0.1 before the mean is
    // taken off.
    const double d = test::maxAbsDifference(a, b);
    if (c.expect == Expect::ALIKE) {
        EXPECT_LT(d, 0.01) << c.name;
    } else {
        EXPECT_GT(d, 0.04) << c.name;
    }
}

// Two colours of the same grey level (0.114 B + 0.587 G + 0.299 R = 113.6 for both).
const cv::Scalar REDDISH(60, 80, 200), GREENISH(60, 160, 43);

INSTANTIATE_TEST_SUITE_P(
    Table, ColourPlaneProperties,
    ::testing::Values(
        PlanesCase{"grey_texture_is_flat", [] { return greyTexture(3); }, nullptr, Expect::FLAT},
        PlanesCase{"grey_float_is_flat",
                   [] {
                       cv::Mat f;
                       greyTexture(4).convertTo(f, CV_32FC3);
                       return f;
                   },
                   nullptr, Expect::FLAT},
        PlanesCase{"black_is_flat",
                   [] {
                       return flat({0, 0, 0});
                   },
                   nullptr, Expect::FLAT},
        PlanesCase{"light_dimmed_to_60_percent", [] { return colourTexture(5); },
                   [] { return cv::Mat(colourTexture(5) * 0.6); }, Expect::ALIKE},
        PlanesCase{"light_raised_by_25_percent", [] { return colourTexture(6); },
                   [] { return cv::Mat(colourTexture(6) * 1.25); }, Expect::ALIKE},
        PlanesCase{"one_colour_is_flat", [] { return flat(REDDISH); }, nullptr, Expect::FLAT},
        PlanesCase{"8_bit_and_float_alike", [] { return squareOn(REDDISH); },
                   [] { return squareOn(REDDISH, CV_32FC3); }, Expect::ALIKE},
        PlanesCase{"same_grey_red_and_green_apart", [] { return squareOn(REDDISH); },
                   [] { return squareOn(GREENISH); }, Expect::APART},
        PlanesCase{"same_grey_grey_and_green_apart",
                   [] {
                       return squareOn({113.6, 113.6, 113.6});
                   },
                   [] { return squareOn(GREENISH); }, Expect::APART},
        PlanesCase{"extreme_floats_stay_finite", extremes, nullptr, Expect::FINITE}),
    [](const ::testing::TestParamInfo<PlanesCase>& info) { return info.param.name; });

TEST(ColourPlaneProperties, SameGreyLevelsForTheTable) {
    cv::Mat a, b;
    cv::cvtColor(flat(REDDISH), a, cv::COLOR_BGR2GRAY);
    cv::cvtColor(flat(GREENISH), b, cv::COLOR_BGR2GRAY);
    EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0.0);
}

// The extractor puts the colour planes after the others, and gives grey samples flat ones, so
// that a filter sized for colour still matches a grey sample.
TEST(FeatureExtractorColour, PlanesFollowTheOthers) {
    FeatureExtractor features;
    features.setColourPlanes(true);
    ASSERT_EQ(features.planeCount(), FeatureExtractor::PLANES + ColourPlanes::kPlanes);
    std::vector<cv::Mat> planes;
    const cv::Mat colour = colourTexture(9);
    features.compute(colour, planes);
    ASSERT_EQ(planes.size(), size_t(features.planeCount()));
    const std::vector<cv::Mat> own = colourPlanesOf(colour);
    for (int k = 0; k < ColourPlanes::kPlanes; ++k) {
        EXPECT_EQ(
            cv::norm(planes[size_t(FeatureExtractor::PLANES + k)], own[size_t(k)], cv::NORM_INF),
            0.0);
    }
    cv::Mat grey;
    cv::cvtColor(test::texture({SIDE, SIDE}, CV_8UC3, 10), grey, cv::COLOR_BGR2GRAY);
    features.compute(grey, planes);
    ASSERT_EQ(planes.size(), size_t(features.planeCount()));
    for (size_t k = FeatureExtractor::PLANES; k < planes.size(); ++k) {
        EXPECT_EQ(cv::countNonZero(planes[k]), 0);
    }
}

// ---- Tracking where grey alone is ambiguous --------------------------------------------------

// `grey` (CV_8UC1) tinted by `hue` (BGR) with each pixel's grey level kept.
cv::Mat tinted(const cv::Mat& grey, const cv::Vec3f& hue) {
    const float k = 1.0f / (0.114f * hue[0] + 0.587f * hue[1] + 0.299f * hue[2]);
    cv::Mat g, bgr;
    grey.convertTo(g, CV_32F, 90.0 / 255.0, 40.0);
    cv::merge(std::vector<cv::Mat>{g * (k * hue[0]), g * (k * hue[1]), g * (k * hue[2])}, bgr);
    bgr.convertTo(bgr, CV_8UC3);
    return bgr;
}

// A red target stands alone; then it steps aside, and a green twin of the same pattern, grey
// levels and gradients appears as far on the other side. In grey the two are one object at the
// same distance, and the tracker's choice between them is arbitrary (it takes the same side
// either way); the colour planes tell it which one it learned, on either side, in 8-bit and in
// float frames.
struct TwinsCase {
    const char* name;
    int type;
    double step; // of the red target, pixels along x
};

class SplitTwins : public ::testing::TestWithParam<TwinsCase> {};

TEST_P(SplitTwins, ColourPlanesFollowTheRedOne) {
    const TwinsCase c = GetParam();
    const cv::Size size(36, 28);
    const cv::Mat pattern = test::texture(size, CV_8UC1, 41);
    // Each strongest in its own channel by as much, so that their gradients match too.
    const cv::Mat red = tinted(pattern, {0.4f, 1.0f, 1.6f});
    const cv::Mat green = tinted(pattern, {0.46f, 1.6f, 0.4f});
    cv::Mat background;
    cv::cvtColor(test::texture({320, 240}, CV_8UC1, 42), background, cv::COLOR_GRAY2BGR);
    const cv::Point2d centre(160, 120), step(c.step, 0);
    const auto render = [&](bool split) {
        cv::Mat f = split ? test::compose(test::compose(background, red, centre + step), green,
                                          centre - step)
                          : test::compose(background, red, centre);
        f.convertTo(f, c.type);
        return f;
    };
    TrackerDcf::Params params;
    params.colour = false; // the histogram alone would tell them apart too
    params.colourFeatures = true;
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create(params);
    tracker->init(render(false),
                  cv::Rect(int(centre.x) - size.width / 2, int(centre.y) - size.height / 2,
                           size.width, size.height));
    cv::Rect box;
    for (int k = 1; k < 10; ++k) {
        ASSERT_TRUE(tracker->update(render(false), box));
    }
    for (int k = 0; k < 5; ++k) {
        const bool found = tracker->update(render(true), box);
        const cv::Point2d at(box.x + box.width / 2.0, box.y + box.height / 2.0);
        EXPECT_TRUE(found) << c.name << " frame " << k;
        EXPECT_LT(cv::norm(at - (centre + step)), 4.0) << c.name << " frame " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, SplitTwins,
                         ::testing::Values(TwinsCase{"bytes_red_right", CV_8UC3, 20},
                                           TwinsCase{"bytes_red_left", CV_8UC3, -20},
                                           TwinsCase{"floats_red_right", CV_32FC3, 20},
                                           TwinsCase{"floats_red_left", CV_32FC3, -20}),
                         [](const ::testing::TestParamInfo<TwinsCase>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace wyr::zok
