#include <gtest/gtest.h>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

// Frames of a textured target moving over a black background, so that a frame without the
// target scores 0 and fails.
class Histories : public ::testing::Test {
protected:
    const cv::Size frameSize{240, 160};
    const cv::Mat target = test::texture({20, 16}, CV_8UC1, 21);

    cv::Mat frameAt(const cv::Point& corner) const {
        cv::Mat frame = cv::Mat::zeros(frameSize, CV_8UC1);
        target.copyTo(frame(cv::Rect(corner, target.size())));
        return frame;
    }
    cv::Mat emptyFrame() const { return cv::Mat::zeros(frameSize, CV_8UC1); }
    cv::Rect boxAt(const cv::Point& corner) const { return {corner, target.size()}; }
};

TEST_F(Histories, PerAxisTargetMovingHorizontally) {
    TrackerCorr::Params params;
    params.mode1D = true;
    params.depth = 4;
    TrackerCorrImpl tracker(params);
    cv::Point corner(60, 70);
    tracker.init(frameAt(corner), boxAt(corner));
    std::vector<const uchar*> captured{tracker.historyY.newest().templ.data};

    for (int k = 1; k <= 8; ++k) {
        corner.x += 3;
        cv::Rect box;
        ASSERT_TRUE(tracker.update(frameAt(corner), box)) << k;
        EXPECT_EQ(box, boxAt(corner));
        captured.push_back(tracker.historyY.newest().templ.data);
        // The horizontal history restarts at every move; the vertical one keeps its run.
        EXPECT_EQ(tracker.historyX.count(), 1u);
        EXPECT_EQ(tracker.historyX.oldest().templ.data, captured[k]);
        EXPECT_EQ(tracker.historyY.count(), std::min<size_t>(k + 1, 4));
        EXPECT_EQ(tracker.historyY.oldest().templ.data, captured[std::max(0, k - 3)]) << k;
    }
}

TEST_F(Histories, TwoDimensionalRunCollapsesWhenTheTargetMoves) {
    TrackerCorr::Params params;
    params.depth = 3;
    TrackerCorrImpl tracker(params);
    const cv::Point corner(60, 70);
    tracker.init(frameAt(corner), boxAt(corner));
    const uchar* reference = tracker.history.oldest().templ.data;
    cv::Rect box;
    for (int k = 1; k <= 4; ++k) {
        ASSERT_TRUE(tracker.update(frameAt(corner), box));
        // Up to `depth` searches use the first template while the target stays put.
        EXPECT_EQ(tracker.history.count(), std::min<size_t>(k + 1, 3));
    }
    EXPECT_NE(tracker.history.oldest().templ.data, reference);
    ASSERT_TRUE(tracker.update(frameAt(corner + cv::Point(2, -1)), box));
    EXPECT_EQ(tracker.history.count(), 1u);
    EXPECT_EQ(tracker.history.oldest().offset, cv::Point(60 + 2 + 10 - 120, 70 - 1 + 8 - 80));
    EXPECT_EQ(&tracker.history.oldest(), &tracker.history.newest());
}

TEST_F(Histories, TenFailuresFillTheRingWithTheNewestEntry) {
    for (const bool mode1D : {false, true}) {
        TrackerCorr::Params params;
        params.depth = 4;
        params.mode1D = mode1D;
        TrackerCorrImpl tracker(params);
        const cv::Point corner(60, 70);
        tracker.init(frameAt(corner), boxAt(corner));
        cv::Rect box;
        ASSERT_TRUE(tracker.update(frameAt(corner + cv::Point(5, 5)), box));
        for (int k = 0; k < 10; ++k) {
            EXPECT_FALSE(tracker.update(emptyFrame(), box));
        }
        EXPECT_EQ(box, boxAt(corner + cv::Point(5, 5)));
        if (mode1D) {
            for (size_t i = 0; i < 4; ++i) {
                EXPECT_EQ(tracker.historyX.slot(i).templ.data,
                          tracker.historyX.newest().templ.data);
                EXPECT_EQ(tracker.historyY.slot(i).offset, tracker.historyY.newest().offset);
            }
            EXPECT_EQ(tracker.historyX.count(), 4u);
        } else {
            for (size_t i = 0; i < 4; ++i) {
                EXPECT_EQ(tracker.history.slot(i).templ.data, tracker.history.newest().templ.data);
                EXPECT_EQ(tracker.history.slot(i).offset, tracker.history.newest().offset);
            }
            EXPECT_EQ(tracker.history.count(), 4u);
        }
        // The repeated entry is still the target: it is found again where it was lost.
        EXPECT_TRUE(tracker.update(frameAt(corner + cv::Point(5, 5)), box));
    }
}

TEST_F(Histories, EmptyEntriesFromBeforeInitAreSearchedFirst) {
    TrackerCorr::Params params;
    params.depth = 3;
    TrackerCorrImpl tracker(params);
    cv::Rect box;
    for (int k = 0; k < 5; ++k) {
        EXPECT_FALSE(tracker.update(emptyFrame(), box));
    }
    const cv::Point corner(60, 70);
    tracker.init(frameAt(corner), boxAt(corner));
    EXPECT_FALSE(tracker.update(frameAt(corner), box));
    EXPECT_FALSE(tracker.update(frameAt(corner), box));
    EXPECT_EQ(tracker.matches(), std::vector<double>{0.0});
    EXPECT_TRUE(tracker.update(frameAt(corner), box));
}

TEST_F(Histories, SecondInitKeepsOlderTemplatesLive) {
    TrackerCorr::Params params;
    params.depth = 3;
    TrackerCorrImpl tracker(params);
    const cv::Point corner(60, 70);
    tracker.init(frameAt(corner), boxAt(corner));
    // A second start somewhere featureless: the first template stays the reference.
    tracker.init(frameAt(corner), boxAt({180, 10}));
    EXPECT_EQ(tracker.history.count(), 2u);
    cv::Rect box;
    EXPECT_TRUE(tracker.update(frameAt(corner), box));
    EXPECT_EQ(box, boxAt(corner));
}

TEST_F(Histories, SecondInitWithOneSlotStartsAfresh) {
    TrackerCorrImpl tracker(TrackerCorr::Params{});
    tracker.init(frameAt({60, 70}), boxAt({60, 70}));
    tracker.init(frameAt({150, 20}), boxAt({150, 20}));
    cv::Rect box;
    EXPECT_TRUE(tracker.update(frameAt({155, 25}), box));
    EXPECT_EQ(box, boxAt({155, 25}));
}

} // namespace
} // namespace wyr::zok
