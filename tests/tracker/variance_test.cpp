#include <gtest/gtest.h>

#include "tracker/variance.hpp"
#include "tracker/weight_mask.hpp"
#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

// One bright pixel in the middle of a square patch; every channel equal unless `channel` is set.
cv::Mat brightPixel(int side, int type, int channel = -1) {
    cv::Mat patch = cv::Mat::zeros(side, side, type);
    cv::Scalar value = cv::Scalar::all(255);
    if (channel >= 0) {
        value = cv::Scalar::all(0);
        value[channel] = 255;
    }
    patch(cv::Rect(side / 2, side / 2, 1, 1)).setTo(value);
    return patch;
}

struct VarianceCase {
    const char* name;
    cv::Mat patch;
    VarianceSettings settings;
    double expected;
};

class MaxLocalVariance : public ::testing::TestWithParam<VarianceCase> {};

TEST_P(MaxLocalVariance, MatchesTheClosedForm) {
    const VarianceCase& c = GetParam();
    EXPECT_NEAR(maxLocalVariance(c.settings, c.patch), c.expected, c.expected * 1e-5 + 1e-9);
}

constexpr double k255Squared = 255.0 * 255.0;

INSTANTIATE_TEST_SUITE_P(
    Patches, MaxLocalVariance,
    ::testing::Values(
        // Every 3x3 window over the pixel has mean 255/9 and mean square 255^2/9.
        VarianceCase{"BrightPixel7x7", brightPixel(7, CV_8UC1), {3, false}, k255Squared * 8 / 81},
        // Reflect-101 borders repeat the centre pixel in the corner windows of a 3x3 patch.
        VarianceCase{"BrightPixel3x3", brightPixel(3, CV_8UC1), {3, false}, k255Squared * 20 / 81},
        VarianceCase{"KernelOfOne", test::texture({16, 12}), {1, false}, 0.0},
        VarianceCase{"Uniform", cv::Mat(9, 9, CV_8UC3, cv::Scalar(10, 90, 200)), {3, false}, 0.0},
        VarianceCase{"Empty", cv::Mat(), {3, true}, 0.0},
        // Without greyscale the red channel alone carries the texture.
        VarianceCase{"RedChannel", brightPixel(7, CV_8UC3, 2), {3, false}, k255Squared * 8 / 81},
        // With greyscale the red pixel weighs 0.299: round(0.299 * 255) = 76.
        VarianceCase{"RedChannelGrey", brightPixel(7, CV_8UC3, 2), {3, true}, 76.0 * 76 * 8 / 81},
        VarianceCase{"BlueChannelGrey", brightPixel(7, CV_8UC4, 0), {3, true}, 29.0 * 29 * 8 / 81},
        VarianceCase{"FloatPatch", brightPixel(7, CV_32FC1), {3, false}, k255Squared * 8 / 81}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LocalVarianceMap, KeepsSizeAndChannelsUnlessGrey) {
    const cv::Mat patch = test::texture({11, 9}, CV_8UC3);
    const cv::Mat colour = localVarianceMap({3, false}, patch);
    EXPECT_EQ(colour.type(), CV_32FC3);
    EXPECT_EQ(colour.size(), patch.size());
    const cv::Mat grey = localVarianceMap({3, true}, patch);
    EXPECT_EQ(grey.type(), CV_32FC1);
    EXPECT_EQ(grey.size(), patch.size());
}

TEST(LocalVarianceMap, RefusesGreyscaleOnOneChannel) {
    EXPECT_THROW(maxLocalVariance({3, true}, brightPixel(7, CV_8UC1)), cv::Exception);
}

TEST(WeightMask, GaussianOverA20x20Box) {
    const cv::Mat mask = buildWeightMask(20, 20, 0.0f);
    ASSERT_EQ(mask.type(), CV_32FC1);
    ASSERT_EQ(mask.size(), cv::Size(20, 20));
    // sigma = e^0 * 10, so the denominator is 200.
    EXPECT_FLOAT_EQ(mask.at<float>(10, 10), 1.0f);
    EXPECT_FLOAT_EQ(mask.at<float>(0, 10), std::exp(-0.5f));
    EXPECT_FLOAT_EQ(mask.at<float>(10, 0), std::exp(-0.5f));
    EXPECT_FLOAT_EQ(mask.at<float>(0, 0), std::exp(-1.0f));
    EXPECT_FLOAT_EQ(mask.at<float>(19, 19), std::exp(-162.0f / 200.0f));
}

TEST(WeightMask, CentreOfOddAndUnevenBoxes) {
    const cv::Mat mask = buildWeightMask(5, 8, 0.0f);
    ASSERT_EQ(mask.size(), cv::Size(8, 5));
    cv::Point peak;
    cv::minMaxLoc(mask, nullptr, nullptr, nullptr, &peak);
    EXPECT_EQ(peak, cv::Point(4, 2));
    // The larger half-side (4) sets sigma: one column further gives exp(-1/32).
    EXPECT_FLOAT_EQ(mask.at<float>(2, 5), std::exp(-1.0f / 32.0f));
}

TEST(WeightMask, NearlyFlatJustBelowTheMaximum) {
    const cv::Mat mask = buildWeightMask(30, 40, 4.99f);
    double lowest = 0.0;
    double highest = 0.0;
    cv::minMaxLoc(mask, &lowest, &highest);
    EXPECT_EQ(highest, 1.0);
    EXPECT_GT(lowest, 0.9999);
    EXPECT_LT(lowest, 1.0);
}

TEST(WeightMask, EmptyForABoxWithoutPixels) {
    EXPECT_TRUE(buildWeightMask(0, 20, 0.0f).empty());
    EXPECT_TRUE(buildWeightMask(20, 0, 0.0f).empty());
}

} // namespace
} // namespace wyr::zok
