// Small frames on which an engine's quotient is no score: windows without energy under the
// weight mask, float frames black around the target, OpenCV's weighted 4 x 1 response, a NaN
// mask. Both engines find the target, or report nothing, and every score lies in -1..1.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

struct GuardCase {
    const char* name;
    cv::Size frame;
    int type;
    cv::Rect box;
    float sigmaExp;
    bool zeroMean;
    bool blackAround; // the update's frame is black but for the unmoved target
    bool found;
};

cv::Mat randomFrame(const cv::Size& size, int type, uint64_t seed) {
    cv::RNG rng(seed);
    cv::Mat frame(size, type);
    if (CV_MAT_DEPTH(type) == CV_8U) {
        rng.fill(frame, cv::RNG::UNIFORM, 0, 256);
    } else {
        rng.fill(frame, cv::RNG::UNIFORM, 0.0, 1.0);
    }
    return frame;
}

std::vector<TrackerCorr::Engine> engines() {
#if ZOK_WITH_FFTW
    return {TrackerCorr::Engine::OPENCV, TrackerCorr::Engine::FFT};
#else
    return {TrackerCorr::Engine::OPENCV};
#endif
}

class ScoreGuard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(ScoreGuard, TargetOrNothing) {
    const GuardCase& c = GetParam();
    const cv::Mat first = randomFrame(c.frame, c.type, 3);
    cv::Mat next = first.clone();
    if (c.blackAround) {
        next.setTo(cv::Scalar::all(0));
        first(c.box).copyTo(next(c.box));
    }
    for (const TrackerCorr::Engine engine : engines()) {
        SCOPED_TRACE(engine == TrackerCorr::Engine::FFT ? "FFT engine" : "OpenCV engine");
        TrackerCorr::Params params;
        params.sigmaExp = c.sigmaExp;
        params.zeroMean = c.zeroMean;
        params.engine = engine;
        const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
        tracker->init(first, c.box);
        cv::Rect box(-1, -1, 0, 0);
        ASSERT_EQ(tracker->update(next, box), c.found);
        ASSERT_EQ(tracker->matches().size(), 1u);
        const double score = tracker->matches()[0];
        EXPECT_TRUE(score >= -1.0 && score <= 1.0) << score;
        if (c.found) {
            EXPECT_EQ(box, c.box);
            EXPECT_GT(score, 0.9999);
        } else {
            EXPECT_EQ(box, cv::Rect(-1, -1, 0, 0));
        }
    }
}

const float MINUS_INF = -std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Frames, ScoreGuard,
    ::testing::Values(
        // Black boxes under the weight mask scored +inf, or 0 / 0, ahead of the target.
        GuardCase{
            "WeightedBgrBlackAround", {20, 7}, CV_8UC3, {6, 0, 7, 7}, 0.0f, false, true, true},
        GuardCase{
            "NearlyFlatMaskBlackAround", {21, 7}, CV_8UC3, {7, 0, 7, 7}, 4.99f, false, true, true},
        GuardCase{
            "WeightedGreyBlackAround", {23, 9}, CV_8UC1, {9, 1, 7, 7}, -1.0f, false, true, true},
        GuardCase{
            "WeightedZeroMeanBlackAround", {20, 7}, CV_8UC3, {6, 0, 7, 7}, 0.0f, true, true, true},
        // Float black boxes hold rounding residues in their sums, which the transform's noise
        // divided into scores of 1 ahead of the target.
        GuardCase{"FloatBlackAround", {11, 24}, CV_32FC1, {2, 15, 7, 7}, 5.0f, false, true, true},
        GuardCase{
            "FloatBgrBlackAround", {13, 26}, CV_32FC3, {4, 17, 7, 7}, 5.0f, false, true, true},
        GuardCase{
            "WeightedFloatBlackAround", {11, 24}, CV_32FC1, {2, 15, 7, 7}, 0.5f, false, true, true},
        // OpenCV 4.6 raises on a weighted zero-mean response of 4 rows by 1 column, one
        // channel.
        GuardCase{"FourByOneResponse", {32, 11}, CV_8UC1, {0, 1, 32, 8}, 0.0f, true, false, true},
        GuardCase{"FourByOneFloat", {9, 12}, CV_32FC1, {0, 2, 9, 9}, 1.0f, true, false, true},
        // exp(-inf) is a zero sigma: a mask of NaN, under which nothing has a score.
        GuardCase{"NanMask", {30, 20}, CV_8UC1, {10, 5, 9, 8}, MINUS_INF, false, false, false},
        GuardCase{
            "NanMaskZeroMean", {30, 20}, CV_8UC3, {10, 5, 9, 8}, MINUS_INF, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScoreGuard, NanMaskScoresZero) {
    TrackerCorr::Params params;
    params.sigmaExp = MINUS_INF;
    params.threshold = 0.0; // accepts every search: the score itself is what is checked
    const cv::Mat frame = randomFrame({30, 20}, CV_8UC1, 4);
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    tracker->init(frame, {10, 5, 9, 8});
    cv::Rect box;
    tracker->update(frame, box);
    EXPECT_EQ(tracker->matches(), std::vector<double>{0.0});
}

TEST(ScoreGuard, UpdateRefusesWhatInitRefuses) {
    const int sizes[] = {20, 20, 3};
    const cv::Mat cube(3, sizes, CV_8UC1, cv::Scalar(7));
    TrackerCorr::Params params;
    params.threshold = 0.0;
    params.updateThreshold = 0.5;
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    std::string initError;
    try {
        tracker->init(cube, {0, 0, 5, 5});
    } catch (const cv::Exception& e) {
        initError = e.what();
        EXPECT_EQ(e.code, cv::Error::StsAssert);
    }
    ASSERT_FALSE(initError.empty());
    const cv::Mat frame = randomFrame({40, 30}, CV_8UC1, 5);
    tracker->init(frame, {10, 10, 9, 9});
    cv::Rect box(1, 2, 3, 4);
    try {
        tracker->update(cube, box);
        ADD_FAILURE() << "update took a three-dimensional matrix";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(std::string(e.what()), initError);
    }
    EXPECT_EQ(box, cv::Rect(1, 2, 3, 4));
    // Nothing was recorded: the tracker goes on from its template.
    ASSERT_TRUE(tracker->update(frame, box));
    EXPECT_EQ(box, cv::Rect(10, 10, 9, 9));
}

} // namespace
} // namespace wyr::zok
