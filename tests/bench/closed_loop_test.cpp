// A tracker steering the virtual gimbal over generated frames: a textured patch crossing a
// textured background.
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "accuracy/gimbal/closed_loop.hpp"
#include "accuracy/gimbal/view_measures.hpp"
#include "zok/tracker_corr.hpp"

namespace wyr::zok::accuracy {
namespace {

const cv::Size FRAME(480, 320);
const cv::Size VIEW(160, 120);
const int FRAMES = 40;
const cv::Point2d STEP(4, 1); // the target's motion a frame

// The target's box on frame k: centred on the frame's centre pixel (240, 160) at the start.
cv::Rect2d truthAt(int k) {
    return {230 + STEP.x * k, 150 + STEP.y * k, 20, 20};
}

std::vector<cv::Mat> crossingFrames() {
    cv::RNG rng(23);
    cv::Mat background(FRAME, CV_8UC3), patch(20, 20, CV_8UC3);
    rng.fill(background, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(background, background, cv::Size(5, 5), 0);
    rng.fill(patch, cv::RNG::UNIFORM, 0, 256);
    std::vector<cv::Mat> frames;
    for (int k = 0; k < FRAMES; ++k) {
        cv::Mat f = background.clone();
        const cv::Rect2d t = truthAt(k);
        patch.copyTo(f(cv::Rect(int(t.x), int(t.y), 20, 20)));
        frames.push_back(f);
    }
    return frames;
}

ClosedLoopSettings settings(int delay) {
    ClosedLoopSettings s;
    s.camera = {FRAME, VIEW, 60.0};
    s.delayFrames = delay;
    // Stiff enough that the lag behind 120 px/s stays inside the view's central third.
    s.controller.proportionalGain = 8.0;
    return s;
}

// Runs `tracker` over the crossing; returns the views and the steps.
std::vector<ClosedLoop::Step> run(cv::Ptr<cv::Tracker> tracker, int delay,
                                  std::vector<cv::Rect2d>& views) {
    const std::vector<cv::Mat> frames = crossingFrames();
    ClosedLoop loop(std::move(tracker), settings(delay), 1.0 / 30);
    views = {cv::Rect2d(loop.start(frames[0], truthAt(0)))};
    std::vector<ClosedLoop::Step> steps;
    for (int k = 1; k < FRAMES; ++k) {
        steps.push_back(loop.step(frames[size_t(k)]));
        views.push_back(steps.back().view);
    }
    return steps;
}

ViewScore score(const std::vector<cv::Rect2d>& views) {
    std::vector<cv::Rect2d> truth;
    for (int k = 0; k < FRAMES; ++k) {
        truth.push_back(truthAt(k));
    }
    return scoreViews(views, truth, std::vector<bool>(FRAMES, true), 0);
}

class Following : public ::testing::TestWithParam<int> {};

TEST_P(Following, ViewFollowsATargetTheTrackerFollows) {
    std::vector<cv::Rect2d> views;
    const auto steps = run(TrackerCorr::create({}), GetParam(), views);
    for (const ClosedLoop::Step& s : steps) {
        EXPECT_TRUE(s.found);
    }
    // The view starts centred on the target, 160 px from the left edge, and pans right after
    // it: the target ends 156 px to the right, the view well past halfway.
    EXPECT_EQ(cv::Rect2d(160, 100, 160, 120), views.front());
    EXPECT_GT(views.back().x, 160 + 78);
    const ViewScore s = score(views);
    EXPECT_FALSE(s.lostForGood());
    EXPECT_EQ(size_t(FRAMES - 1), s.inCentralThird);
}

INSTANTIATE_TEST_SUITE_P(ClosedLoop, Following, ::testing::Values(0, 1, 2));

// A tracker that always answers the box it started from, found, lost or raising.
class StuckTracker : public cv::Tracker {
public:
    enum Answer { FOUND, LOST, RAISES };
    explicit StuckTracker(Answer answer) : answer_(answer) {}
    void init(cv::InputArray, const cv::Rect& box) override { box_ = box; }
    bool update(cv::InputArray, cv::Rect& box) override {
        if (answer_ == RAISES) {
            CV_Error(cv::Error::StsError, "stuck");
        }
        box = box_;
        return answer_ == FOUND;
    }

private:
    Answer answer_;
    cv::Rect box_;
};

class Stuck : public ::testing::TestWithParam<StuckTracker::Answer> {};

TEST_P(Stuck, TargetLeavesAViewThatNeverMoves) {
    std::vector<cv::Rect2d> views;
    const auto steps = run(cv::makePtr<StuckTracker>(GetParam()), 1, views);
    for (const ClosedLoop::Step& s : steps) {
        EXPECT_EQ(GetParam() == StuckTracker::FOUND, s.found);
        EXPECT_EQ(GetParam() == StuckTracker::RAISES, s.raised);
        EXPECT_EQ(cv::Rect(160, 100, 160, 120), s.view);
    }
    // The target's centre is at the view's x 80 + 4k: in it up to frame 19, out from frame 20.
    const ViewScore s = score(views);
    EXPECT_TRUE(s.lostForGood());
    EXPECT_EQ(size_t(20), s.keptFrames);
    EXPECT_EQ(size_t(FRAMES), s.frames);
    EXPECT_EQ(size_t(19), s.inView);
}

INSTANTIATE_TEST_SUITE_P(ClosedLoop, Stuck,
                         ::testing::Values(StuckTracker::FOUND, StuckTracker::LOST,
                                           StuckTracker::RAISES));

TEST(ClosedLoop, RefusesAFrameOfAnotherSizeAndAStartBoxOutsideTheView) {
    ClosedLoop loop(cv::makePtr<StuckTracker>(StuckTracker::FOUND), settings(1), 1.0 / 30);
    EXPECT_THROW(loop.start(cv::Mat(100, 100, CV_8UC3), truthAt(0)), cv::Exception);
    // A box beyond the frame's corner: the view stops at the edge, short of it.
    EXPECT_THROW(loop.start(cv::Mat(FRAME, CV_8UC3), {500, 400, 10, 10}), cv::Exception);
}

} // namespace
} // namespace wyr::zok::accuracy
