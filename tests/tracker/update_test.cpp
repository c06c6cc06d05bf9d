#include <gtest/gtest.h>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

using test::implOf;

// A black frame holding a template at its centre (for init), and frames for the searches.
class UpdateRetries : public ::testing::Test {
protected:
    static constexpr int kSide = 20;
    const cv::Size frameSize{400, 100};
    const cv::Rect start{190, 40, kSide, kSide};
    const cv::Mat target = test::texture({kSide, kSide}, CV_8UC1, 5);

    cv::Mat frameWith(const std::vector<std::pair<cv::Point, cv::Mat>>& patches) const {
        cv::Mat frame = cv::Mat::zeros(frameSize, CV_8UC1);
        for (const auto& [corner, patch] : patches) {
            patch.copyTo(frame(cv::Rect(corner, patch.size())));
        }
        return frame;
    }

    // The target with noise: a match clearly weaker than the exact one, but not zero.
    cv::Mat blurred() const {
        cv::Mat noisy;
        cv::RNG rng(9);
        cv::Mat noise(target.size(), CV_8UC1);
        rng.fill(noise, cv::RNG::UNIFORM, 0, 120);
        cv::add(target, noise, noisy);
        return noisy;
    }

    cv::Ptr<TrackerCorr> tracker(double threshold, std::vector<float> alternatives) const {
        TrackerCorr::Params params;
        params.threshold = threshold;
        params.altSearchRadiiFactors = std::move(alternatives);
        cv::Ptr<TrackerCorr> t = TrackerCorr::create(params);
        t->init(frameWith({{start.tl(), target}}), start);
        return t;
    }

    // The weak copy lies inside the first window (radius 80), the exact target only inside a
    // window of factor 6 (radius 120).
    cv::Mat weakNearStrongFar() const {
        return frameWith({{start.tl() + cv::Point(-40, 0), blurred()},
                          {start.tl() + cv::Point(100, 0), target}});
    }
};

TEST_F(UpdateRetries, WiderFactorsAfterAWeakScoreUntilOneSucceeds) {
    const cv::Ptr<TrackerCorr> t = tracker(0.97, {2.0f, 6.0f, 8.0f});
    cv::Rect box;
    EXPECT_TRUE(t->update(weakNearStrongFar(), box));
    // 2.0 is narrower than the first search and is skipped; 8.0 is not needed.
    ASSERT_EQ(t->matches().size(), 2u);
    EXPECT_GT(t->matches()[0], 0.0);
    EXPECT_LT(t->matches()[0], 0.97);
    EXPECT_GE(t->matches()[1], 0.97);
    EXPECT_EQ(box, cv::Rect(start.tl() + cv::Point(100, 0), start.size()));
}

TEST_F(UpdateRetries, NoneAfterAFirstSuccess) {
    const cv::Ptr<TrackerCorr> t = tracker(0.85, {6.0f, 8.0f});
    cv::Rect box;
    EXPECT_TRUE(t->update(frameWith({{start.tl() + cv::Point(3, 0), target}}), box));
    EXPECT_EQ(t->matches().size(), 1u);
}

TEST_F(UpdateRetries, NoneAfterAScoreOfZero) {
    const cv::Ptr<TrackerCorr> t = tracker(0.85, {6.0f, 8.0f});
    cv::Rect box(1, 2, 3, 4);
    EXPECT_FALSE(t->update(cv::Mat::zeros(frameSize, CV_8UC1), box));
    EXPECT_EQ(t->matches(), std::vector<double>{0.0});
    EXPECT_EQ(box, cv::Rect(1, 2, 3, 4));
}

TEST_F(UpdateRetries, EveryWiderFactorWhileTheScoresStayWeak) {
    const cv::Ptr<TrackerCorr> t = tracker(0.9999, {5.0f, 4.0f, 6.0f, 3.0f, 8.0f});
    const size_t reserved = implOf(t).matchScores.capacity();
    cv::Rect box(1, 2, 3, 4);
    EXPECT_FALSE(t->update(frameWith({{start.tl() + cv::Point(-40, 0), blurred()}}), box));
    // 4.0 equals the first factor and 3.0 is narrower: neither is searched.
    EXPECT_EQ(t->matches().size(), 4u);
    EXPECT_EQ(implOf(t).matchScores.capacity(), reserved);
    EXPECT_EQ(box, cv::Rect(1, 2, 3, 4));
}

TEST_F(UpdateRetries, FactorEqualToTheClampedFirstFactorIsNeverSearched) {
    TrackerCorr::Params params;
    params.searchRadiusFactor = 0.5f;
    params.threshold = 0.9999;
    params.altSearchRadiiFactors = {1.25f};
    const cv::Ptr<TrackerCorr> t = TrackerCorr::create(params);
    t->init(frameWith({{start.tl(), target}}), start);
    cv::Rect box;
    t->update(frameWith({{start.tl() + cv::Point(-5, 0), blurred()}}), box);
    EXPECT_EQ(t->matches().size(), 1u);
}

TEST_F(UpdateRetries, ThresholdAtZeroAcceptsAScoreOfZero) {
    const cv::Ptr<TrackerCorr> t = tracker(0.0, {6.0f});
    cv::Rect box(1, 2, 3, 4);
    EXPECT_TRUE(t->update(cv::Mat::zeros(frameSize, CV_8UC1), box));
    EXPECT_EQ(t->matches(), std::vector<double>{0.0});
    // The found box of the search: the window's first position, the frame's top-left corner.
    EXPECT_EQ(box, cv::Rect(cv::Point(200 - 80, 0), start.size()));
}

TEST(Update, BeforeAnyInit) {
    for (const double threshold : {0.85, 0.0}) {
        TrackerCorr::Params params;
        params.threshold = threshold;
        const cv::Ptr<TrackerCorr> t = TrackerCorr::create(params);
        cv::Rect box(1, 2, 3, 4);
        const bool found = t->update(test::texture({64, 48}), box);
        EXPECT_EQ(t->matches(), std::vector<double>{0.0});
        if (threshold > 0) {
            EXPECT_FALSE(found);
            EXPECT_EQ(box, cv::Rect(1, 2, 3, 4));
        } else {
            // With nothing to search, an accepting threshold reports the empty box.
            EXPECT_TRUE(found);
            EXPECT_EQ(box, cv::Rect());
        }
        EXPECT_EQ(implOf(t).history.count(), 1u);
    }
}

// OpenCV would correlate the other way round, the frame inside the template, and the box found
// would stick out of the frame: a frame smaller than the template has nothing to search.
TEST(Update, FrameSmallerThanTheTemplateHasNothingToSearch) {
    for (const bool mode1D : {false, true}) {
        for (const cv::Size& frameSize : {cv::Size(20, 15), cv::Size(29, 40), cv::Size(40, 19)}) {
            TrackerCorr::Params params;
            params.threshold = 0.0;
            params.mode1D = mode1D;
            const cv::Ptr<TrackerCorr> t = TrackerCorr::create(params);
            t->init(test::texture({64, 48}), {10, 10, 30, 20});
            cv::Rect box(1, 2, 3, 4);
            EXPECT_TRUE(t->update(test::texture(frameSize, CV_8UC1, 9), box));
            EXPECT_EQ(t->matches(), std::vector<double>{0.0}) << frameSize;
            EXPECT_EQ(box, cv::Rect()) << frameSize;
        }
    }
}

TEST(Update, ErrorsInsideASearchChangeNothing) {
    TrackerCorr::Params params;
    params.depth = 3;
    const cv::Ptr<TrackerCorr> t = TrackerCorr::create(params);
    const cv::Mat grey = test::texture({64, 48});
    t->init(grey, {10, 10, 20, 15});
    cv::Rect box(1, 2, 3, 4);
    ASSERT_TRUE(t->update(grey, box));
    const TrackerCorrImpl& impl = implOf(t);
    const size_t head = impl.history.head();
    const size_t count = impl.history.count();

    cv::Rect untouched(5, 6, 7, 8);
    EXPECT_THROW(t->update(test::texture({64, 48}, CV_8UC3), untouched), cv::Exception);
    EXPECT_EQ(untouched, cv::Rect(5, 6, 7, 8));
    EXPECT_EQ(impl.history.head(), head);
    EXPECT_EQ(impl.history.count(), count);
    EXPECT_TRUE(t->matches().empty());
}

} // namespace
} // namespace wyr::zok
