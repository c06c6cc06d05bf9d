#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "dcf/colour_model.hpp"
#include "feature_test_util.hpp"

namespace wyr::zok {
namespace {

// Colours as 8-bit values; grey cases use the first channel.
const cv::Scalar kGround(20, 200, 20);
const cv::Scalar kTarget(200, 20, 60);
const cv::Scalar kUnseen(100, 100, 100);
const cv::Rect kBox(20, 16, 24, 20); // in a 64 x 56 patch

cv::Mat patchOf(int type, const cv::Scalar& ground, const cv::Scalar& target) {
    const cv::Scalar g = CV_MAT_CN(type) == 1 ? cv::Scalar(ground[0]) : ground;
    const cv::Scalar t = CV_MAT_CN(type) == 1 ? cv::Scalar(target[0]) : target;
    cv::Mat patch(56, 64, type, g);
    patch(kBox).setTo(t);
    return patch;
}

float likelihoodOf(const ColourModel& model, int type, const cv::Scalar& colour) {
    const cv::Mat pixel = patchOf(type, colour, colour)(cv::Rect(0, 0, 1, 1));
    cv::Mat out;
    model.likelihood(pixel, out);
    return out.at<float>(0, 0);
}

class ColourLikelihood : public ::testing::TestWithParam<int> {};

TEST_P(ColourLikelihood, SeparatesTwoColoursAndKnowsNothingOfAThird) {
    const int type = GetParam();
    ColourModel model;
    EXPECT_EQ(likelihoodOf(model, type, kTarget), 0.5f);
    const cv::Mat patch = patchOf(type, kGround, kTarget);
    model.learn(patch, kBox, 0.3f); // the first learn replaces, whatever the rate
    EXPECT_EQ(likelihoodOf(model, type, kTarget), 1.0f);
    EXPECT_EQ(likelihoodOf(model, type, kGround), 0.0f);
    EXPECT_EQ(likelihoodOf(model, type, kUnseen), 0.5f);

    cv::Mat out;
    model.likelihood(patch, out);
    ASSERT_EQ(out.type(), CV_32FC1);
    ASSERT_EQ(out.size(), patch.size());
    const uchar* const data = out.data;
    model.likelihood(patch, out);
    EXPECT_EQ(out.data, data);
    EXPECT_EQ(cv::countNonZero(out), kBox.area());
    EXPECT_EQ(cv::sum(out(kBox))[0], kBox.area());

    // Swapped colours at rate 0.25: fg = 0.75 target + 0.25 ground, bg the other way round.
    model.learn(patchOf(type, kTarget, kGround), kBox, 0.25f);
    EXPECT_NEAR(likelihoodOf(model, type, kTarget), 0.75, 1e-6);
    EXPECT_NEAR(likelihoodOf(model, type, kGround), 0.25, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Types, ColourLikelihood,
                         ::testing::Values(CV_8UC1, CV_8UC3, CV_32FC1, CV_32FC3));

// The histograms are frequencies, not counts; the inset keeps the box's rim out of the
// foreground, and a box cut by the patch's edge keeps only its inside.
struct CountCase {
    std::string name;
    float inset;
    cv::Rect target;
    cv::Rect groundInTarget; // painted in the ground colour
    cv::Rect rim;            // painted in the unseen colour
    float target_, ground, unseen;
};

class ColourCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(ColourCounts, GiveTheExpectedProbabilities) {
    const CountCase& c = GetParam();
    cv::Mat patch(40, 60, CV_8UC3, kGround);
    patch(c.target & cv::Rect(0, 0, 60, 40)).setTo(kTarget);
    patch(c.groundInTarget).setTo(kGround);
    patch(c.rim).setTo(kUnseen);
    ColourModel model(c.inset);
    model.learn(patch, c.target, 1.0f);
    EXPECT_NEAR(likelihoodOf(model, CV_8UC3, kTarget), c.target_, 1e-6);
    EXPECT_NEAR(likelihoodOf(model, CV_8UC3, kGround), c.ground, 1e-6);
    EXPECT_NEAR(likelihoodOf(model, CV_8UC3, kUnseen), c.unseen, 1e-6);
}

// 20 x 20 box at (20, 10): 400 pixels in, 2000 out.
INSTANTIATE_TEST_SUITE_P(
    Patches, ColourCounts,
    ::testing::Values(
        // A quarter of the box in the ground colour: fg 0.25 against bg 1.
        CountCase{"frequencies", 0.0f, {20, 10, 20, 20}, {20, 10, 20, 5}, {}, 1, 0.2f, 0.5f},
        // A 2-pixel rim of another colour; the inset of 0.1 * 20 drops it from the foreground.
        CountCase{"rim_left_out", 0.1f, {20, 10, 20, 20}, {}, {20, 10, 20, 2}, 1, 0, 0.5f},
        CountCase{"rim_counted", 0.0f, {20, 10, 20, 20}, {}, {20, 10, 20, 2}, 1, 0, 1},
        // Half the box past the right edge: the inside counts, the ground outside it too.
        CountCase{"cut_by_edge", 0.0f, {50, 10, 20, 20}, {}, {}, 1, 0, 0.5f}),
    [](const auto& info) { return info.param.name; });

struct WindowCase {
    std::string name;
    cv::Size map;
    cv::Size window;
};

class ColourResponse : public ::testing::TestWithParam<WindowCase> {};

TEST_P(ColourResponse, IsTheMeanOverTheClippedCentredWindow) {
    const WindowCase& c = GetParam();
    cv::Mat map(c.map, CV_32FC1);
    cv::RNG rng(21);
    rng.fill(map, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::Mat response;
    colourResponse(map, c.window, response);
    ASSERT_EQ(response.size(), map.size());
    double worst = 0.0;
    for (int y = 0; y < map.rows; ++y) {
        for (int x = 0; x < map.cols; ++x) {
            const cv::Rect window(x - c.window.width / 2, y - c.window.height / 2, c.window.width,
                                  c.window.height);
            const double mean = cv::mean(map(window & cv::Rect(0, 0, map.cols, map.rows)))[0];
            worst = std::max(worst, std::abs(mean - response.at<float>(y, x)));
        }
    }
    EXPECT_LE(worst, 1e-6);
    // In place gives the same.
    cv::Mat same = map.clone();
    colourResponse(same, c.window, same);
    EXPECT_EQ(cv::norm(same, response, cv::NORM_INF), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Windows, ColourResponse,
                         ::testing::Values(WindowCase{"single_pixel", {23, 17}, {1, 1}},
                                           WindowCase{"odd", {40, 31}, {7, 5}},
                                           WindowCase{"even", {40, 31}, {6, 8}},
                                           WindowCase{"wider_than_map", {19, 30}, {50, 3}},
                                           WindowCase{"larger_than_map", {12, 9}, {30, 40}}),
                         [](const auto& info) { return info.param.name; });

struct BadCall {
    std::string name;
    std::function<void(ColourModel&)> call;
    int code;
    std::string message;
};

class ColourBadInput : public ::testing::TestWithParam<BadCall> {};

TEST_P(ColourBadInput, RaisesAndKeepsTheModel) {
    const BadCall& c = GetParam();
    ColourModel model;
    model.learn(patchOf(CV_8UC3, kGround, kTarget), kBox, 1.0f);
    try {
        c.call(model);
        FAIL() << "no exception";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, c.code);
        EXPECT_NE(e.err.find(c.message), std::string::npos) << e.err;
    }
    EXPECT_EQ(likelihoodOf(model, CV_8UC3, kTarget), 1.0f);
    EXPECT_EQ(likelihoodOf(model, CV_8UC3, kGround), 0.0f);
}

const cv::Mat kSwapped = patchOf(CV_8UC3, kTarget, kGround);

INSTANTIATE_TEST_SUITE_P(
    Calls, ColourBadInput,
    ::testing::Values(
        BadCall{"learn_empty", [](ColourModel& m) { m.learn(cv::Mat(), kBox, 1.0f); },
                cv::Error::StsBadArg, "ColourModel::learn: the patch is empty"},
        BadCall{"learn_sixteen_bit",
                [](ColourModel& m) { m.learn(cv::Mat::zeros(56, 64, CV_16UC3), kBox, 1.0f); },
                cv::Error::StsUnsupportedFormat, "must be CV_8UC1, CV_8UC3, CV_32FC1 or CV_32FC3"},
        BadCall{"learn_rate_above_one", [](ColourModel& m) { m.learn(kSwapped, kBox, 1.5f); },
                cv::Error::StsOutOfRange, "the rate must lie in [0, 1]"},
        BadCall{"learn_rate_nan", [](ColourModel& m) { m.learn(kSwapped, kBox, NAN); },
                cv::Error::StsOutOfRange, "the rate must lie in [0, 1]"},
        BadCall{"learn_empty_box",
                [](ColourModel& m) {
                    m.learn(kSwapped, {5, 5, 0, 9}, 1.0f);
                },
                cv::Error::StsBadArg, "the target box is empty"},
        BadCall{"learn_box_outside",
                [](ColourModel& m) {
                    m.learn(kSwapped, {70, 5, 10, 10}, 1.0f);
                },
                cv::Error::StsBadArg, "foreground has no pixel in the patch"},
        BadCall{"learn_grey_into_colour",
                [](ColourModel& m) { m.learn(patchOf(CV_8UC1, kTarget, kGround), kBox, 0.5f); },
                cv::Error::StsUnmatchedFormats, "only a rate of 1 replaces the model"},
        BadCall{"likelihood_grey",
                [](ColourModel& m) {
                    cv::Mat out;
                    m.likelihood(patchOf(CV_32FC1, kTarget, kGround), out);
                },
                cv::Error::StsUnmatchedFormats, "channels differ from the model's"},
        BadCall{"response_empty",
                [](ColourModel&) {
                    cv::Mat out;
                    colourResponse(cv::Mat(), {3, 3}, out);
                },
                cv::Error::StsBadArg, "the likelihood map is empty"},
        BadCall{"response_eight_bit",
                [](ColourModel&) {
                    cv::Mat out;
                    colourResponse(cv::Mat::zeros(9, 9, CV_8UC1), {3, 3}, out);
                },
                cv::Error::StsUnsupportedFormat, "the map must be CV_32FC1"},
        BadCall{"response_zero_window",
                [](ColourModel&) {
                    cv::Mat out;
                    colourResponse(cv::Mat::zeros(9, 9, CV_32FC1), {0, 3}, out);
                },
                cv::Error::StsBadSize, "sides must be at least 1"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace wyr::zok
