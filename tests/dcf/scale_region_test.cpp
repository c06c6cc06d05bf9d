#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "dcf/region.hpp"
#include "dcf/scale_filter.hpp"
#include "dcf_test_util.hpp"

namespace wyr::zok {
namespace {

// ---- The scale filter -------------------------------------------------------------------

struct ScaleCase {
    int type;
    double factor; // of the target in the new frame
};

class ScaleEstimate : public ::testing::TestWithParam<ScaleCase> {};

// A target grown or shrunk about its centre is measured with the right sign, and sampling
// again at the size found, as the tracker does frame by frame, converges on the true size;
// with no change of size, none is found.
TEST_P(ScaleEstimate, GivesTheScale) {
    const ScaleCase c = GetParam();
    // Flat ground, and a target with structure at several cells' scale, as objects have:
    // against a texture like its own, a shrinking target's edge could not be seen, and a fine
    // random texture is another pattern after a few per cent of zoom.
    const cv::Mat background(160, 200, c.type, cv::Scalar::all(120));
    cv::Mat target;
    cv::resize(test::texture({16, 12}, c.type, 42), target, {48, 36}, 0, 0, cv::INTER_CUBIC);
    const cv::Point2d centre(100, 80);
    ScaleFilter filter;
    ScaleFilter::Settings settings;
    settings.target = cv::Size2f(target.size());
    filter.configure(settings);
    filter.loadSamples(test::compose(background, target, centre), cv::Point2f(centre),
                       settings.target);
    filter.learn(1.0f, 0.0f);
    const cv::Mat frame = test::compose(background, target, centre, c.factor);
    const double truth = std::log(c.factor) / std::log(settings.step);
    float size = 1.0f;
    for (int k = 0; k < 8; ++k) {
        filter.loadSamples(frame, cv::Point2f(centre), settings.target * size);
        const float steps = filter.estimate();
        if (k == 0) {
            // One frame's estimate falls short of a large change, but not in sign.
            EXPECT_GE(steps * truth, std::min(0.4 * std::abs(truth), truth * truth / 3))
                << c.factor;
            EXPECT_LE(std::abs(steps), std::abs(truth) + 0.5) << c.factor;
        }
        size *= std::pow(settings.step, steps);
    }
    EXPECT_NEAR(size, c.factor, 0.02) << c.factor;
}

INSTANTIATE_TEST_SUITE_P(Table, ScaleEstimate,
                         ::testing::Values(ScaleCase{CV_8UC1, 1.0}, ScaleCase{CV_8UC1, 1.06},
                                           ScaleCase{CV_8UC1, 0.94}, ScaleCase{CV_8UC3, 1.1},
                                           ScaleCase{CV_8UC3, 0.92}));

// Learning the samples as those of a target `offset` steps up the ladder moves the peak by as
// much: the next frame, sampled at the new size, peaks in the middle again.
TEST(ScaleLearn, OffsetLabelRecentres) {
    const cv::Mat background = test::texture({200, 160}, CV_8UC1, 43);
    const cv::Mat target = test::texture({40, 40}, CV_8UC1, 44);
    const cv::Point2d centre(100, 80);
    ScaleFilter filter;
    ScaleFilter::Settings settings;
    settings.target = cv::Size2f(40, 40);
    filter.configure(settings);
    const cv::Mat frame = test::compose(background, target, centre);
    filter.loadSamples(frame, cv::Point2f(centre), settings.target);
    // Taken as a target 3 steps larger than the box sampled: sampled with that larger box, the
    // same frame shows no change.
    filter.learn(1.0f, 3.0f);
    const float larger = std::pow(settings.step, 3.0f);
    filter.loadSamples(frame, cv::Point2f(centre), settings.target * larger);
    EXPECT_NEAR(filter.estimate(), 0.0f, 0.6);
}

TEST(ScaleSamples, NaNRefused) {
    cv::Mat frame = test::texture({120, 100}, CV_8UC1, 45);
    frame.convertTo(frame, CV_32F);
    ScaleFilter filter;
    ScaleFilter::Settings settings;
    settings.target = cv::Size2f(30, 20);
    filter.configure(settings);
    frame.at<float>(50, 60) = std::nanf("");
    try {
        filter.loadSamples(frame, {60, 50}, settings.target);
        FAIL() << "no exception";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, cv::Error::StsBadArg);
    }
}

// ---- Region sampling --------------------------------------------------------------------

// Pixel-aligned regions of the sample's own size are exact crops, with the edge repeated
// outside the frame; every depth and channel count keeps its depth, and 4 channels lose alpha.
struct CropCase {
    int type;
    cv::Point corner; // of the region, may lie outside
};

class RegionCrop : public ::testing::TestWithParam<CropCase> {};

TEST_P(RegionCrop, IsExact) {
    const CropCase c = GetParam();
    cv::Mat frame(40, 50, c.type);
    cv::RNG(7).fill(frame, cv::RNG::UNIFORM, 0, 255);
    const cv::Size out(16, 12);
    const cv::Point2f centre(c.corner.x + out.width / 2.0f, c.corner.y + out.height / 2.0f);
    cv::Mat sample;
    SampleScratch scratch;
    sampleRegion(frame, centre, cv::Size2f(out), out, sample, scratch);
    const int channels = std::min(3, frame.channels());
    ASSERT_EQ(sample.type(), CV_MAKETYPE(frame.depth(), channels));
    ASSERT_EQ(sample.size(), out);
    cv::Mat expected;
    cv::copyMakeBorder(frame, expected, 20, 20, 20, 20, cv::BORDER_REPLICATE);
    expected = expected(cv::Rect(c.corner + cv::Point(20, 20), out));
    if (frame.channels() == 4) {
        cv::cvtColor(expected, expected, cv::COLOR_BGRA2BGR);
    }
    EXPECT_LE(cv::norm(sample, expected, cv::NORM_INF), 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Table, RegionCrop,
                         ::testing::Values(CropCase{CV_8UC1, {5, 7}}, CropCase{CV_8UC3, {0, 0}},
                                           CropCase{CV_32FC1, {-6, 3}},
                                           CropCase{CV_32FC3, {40, 30}},
                                           CropCase{CV_8UC4, {-3, -4}}));

// A region many times the sample's size is averaged down: a fine checkerboard becomes its mean
// instead of aliasing into stripes; and a region wholly outside the frame repeats the nearest
// pixel.
TEST(RegionAverage, LargeRegionsAreAveraged) {
    cv::Mat board(200, 200, CV_8UC1);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            board.at<uchar>(y, x) = ((x + y) % 2) ? 200 : 0;
        }
    }
    cv::Mat sample;
    SampleScratch scratch;
    sampleRegion(board, {100, 100}, {160, 160}, {20, 20}, sample, scratch);
    double lo, hi;
    cv::minMaxLoc(sample, &lo, &hi);
    EXPECT_GE(lo, 90);
    EXPECT_LE(hi, 110);

    cv::Mat frame(30, 30, CV_8UC1, cv::Scalar(0));
    frame.at<uchar>(29, 29) = 77;
    sampleRegion(frame, {500, 600}, {100, 100}, {8, 8}, sample, scratch);
    EXPECT_EQ(cv::countNonZero(sample != 77), 0);
}

struct FiniteCase {
    const char* what;
    int type;
    cv::Point pixel; // where the odd value goes
    float value;
    cv::Size2f region; // read around the frame's centre
    bool taken;
};

class RegionFinite : public ::testing::TestWithParam<FiniteCase> {};

// NaN and infinite pixels read are refused wherever the resampling reads them (directly or
// after averaging down); finite ones are taken however large, saturated, never overflowing.
TEST_P(RegionFinite, RefusesOnlyWhatIsNotFinite) {
    const FiniteCase c = GetParam();
    cv::Mat frame(120, 160, c.type, cv::Scalar::all(100));
    if (c.value == std::numeric_limits<float>::max()) {
        frame.setTo(cv::Scalar::all(c.value));
        frame.row(0).setTo(cv::Scalar::all(-c.value));
    } else if (CV_MAT_DEPTH(c.type) == CV_32F) {
        frame.ptr<float>(c.pixel.y)[c.pixel.x * frame.channels()] = c.value;
    }
    cv::Mat out;
    SampleScratch scratch;
    EXPECT_EQ(sampleFiniteRegion(frame, {80, 60}, c.region, {24, 24}, out, scratch), c.taken)
        << c.what;
    if (c.taken) {
        EXPECT_TRUE(cv::checkRange(out, true)) << c.what;
        double lo, hi;
        cv::minMaxLoc(out.reshape(1), &lo, &hi);
        EXPECT_GE(lo, -FLOAT_PIXEL_LIMIT) << c.what;
        EXPECT_LE(hi, FLOAT_PIXEL_LIMIT) << c.what;
    }
}

constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float BIG = std::numeric_limits<float>::max();

INSTANTIATE_TEST_SUITE_P(
    Table, RegionFinite,
    ::testing::Values(
        FiniteCase{"8-bit always", CV_8UC3, {80, 60}, 0, {40, 40}, true},
        FiniteCase{"NaN read", CV_32FC3, {85, 62}, std::nanf(""), {40, 40}, false},
        FiniteCase{"infinity read when averaged down", CV_32FC1, {50, 30}, -INF, {100, 100}, false},
        FiniteCase{"NaN outside the region", CV_32FC1, {5, 5}, std::nanf(""), {40, 40}, true},
        FiniteCase{"FLT_MAX interpolated", CV_32FC3, {0, 0}, BIG, {30, 30}, true},
        FiniteCase{"FLT_MAX averaged down", CV_32FC1, {0, 0}, BIG, {150, 110}, true}));

} // namespace
} // namespace wyr::zok
