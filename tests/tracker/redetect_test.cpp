// A target that slides behind an occluder and comes out on the other side, with a patch of
// background like it further off: the wider search must not take the patch for the target
// while it is hidden, and must find the target again when it shows.
#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

constexpr double STEP = 2.5;      // pixels a frame, to the right
constexpr int OCCLUDER_X = 150;   // the occluder spans OCCLUDER_X..OCCLUDER_END
constexpr int OCCLUDER_END = 250; // wider than the target, so it hides it whole for a while
constexpr int FRAMES = 112;

struct Occlusion {
    synthetic::Scene scene;
    cv::Mat occluder;
    cv::Point2d start{40, 60};

    Occlusion() : scene(options()) {
        cv::RNG rng(77);
        occluder = synthetic::makeTexture({OCCLUDER_END - OCCLUDER_X, 300}, CV_8UC1, rng);
    }

    static synthetic::SceneOptions options() {
        synthetic::SceneOptions o;
        o.frameSize = {480, 300};
        o.targetSize = {44, 36};
        o.seed = 21;
        return o;
    }

    cv::Point2d at(int k) const { return start + cv::Point2d(STEP * k, 0); }

    // Share of the target's columns in view.
    double visible(int k) const {
        const double left = at(k).x;
        const double right = left + scene.options().targetSize.width;
        const double hidden = std::max(0.0, std::min(right, double(OCCLUDER_END)) -
                                                std::max(left, double(OCCLUDER_X)));
        return 1.0 - hidden / scene.options().targetSize.width;
    }

    cv::Mat frame(int k) const {
        cv::Mat image = scene.render(at(k));
        // Half the target, half noise, 160 pixels below and left of where it disappears:
        // a zero-mean score near 0.7 against the target's template.
        cv::RNG rng(5);
        const cv::Mat noise = synthetic::makeTexture(scene.target().size(), CV_8UC1, rng);
        cv::addWeighted(scene.target(), 0.5, noise, 0.5, 0,
                        image(cv::Rect(cv::Point(40, 200), scene.target().size())));
        occluder.copyTo(image(cv::Rect(OCCLUDER_X, 0, occluder.cols, occluder.rows)));
        return image;
    }
};

// The recommended configuration, with redetectThreshold as given.
TrackerCorr::Params recommended(double redetectThreshold) {
    TrackerCorr::Params p;
    p.zeroMean = true;
    p.threshold = 0.5;
    p.updateThreshold = 0.88;
    p.searchRadiusFactor = 2.0f;
    p.altSearchRadiiFactors = {12.0f};
    p.zoomFactor = 10;
    p.redetectThreshold = redetectThreshold;
    return p;
}

struct RedetectCase {
    const char* name;
    double redetectThreshold;
    bool takesBackground; // the old behaviour: hidden frames reported found, target never back
};

class Redetect : public ::testing::TestWithParam<RedetectCase> {};

TEST_P(Redetect, HiddenFramesAndTheReturn) {
    const RedetectCase& c = GetParam();
    const Occlusion scene;
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(recommended(c.redetectThreshold));
    const cv::Size size = scene.scene.options().targetSize;
    tracker->init(scene.frame(0), cv::Rect(cv::Point(scene.at(0)), size));
    int hiddenFound = 0;
    int hidden = 0;
    int back = -1; // the first whole frame after the occluder
    int refound = -1;
    int onTargetAfter = 0;
    int framesAfter = 0;
    for (int k = 1; k < FRAMES; ++k) {
        cv::Rect box;
        const bool found = tracker->update(scene.frame(k), box);
        const double shown = scene.visible(k);
        if (shown == 0) {
            ++hidden;
            hiddenFound += found ? 1 : 0;
        }
        if (shown == 1 && scene.at(k).x >= OCCLUDER_END) {
            back = back < 0 ? k : back;
            const cv::Point2d truth = scene.at(k);
            const bool onTarget =
                found && std::abs(box.x - truth.x) <= 1.5 && std::abs(box.y - truth.y) <= 1.5;
            if (onTarget && refound < 0) {
                refound = k;
            }
            if (refound >= 0) {
                ++framesAfter;
                onTargetAfter += onTarget ? 1 : 0;
            }
        }
    }
    ASSERT_GT(hidden, 10);
    ASSERT_GT(back, 0);
    if (c.takesBackground) {
        EXPECT_EQ(hiddenFound, hidden);
        EXPECT_LT(refound, 0);
        return;
    }
    EXPECT_EQ(hiddenFound, 0);
    ASSERT_GE(refound, 0) << "never found again";
    EXPECT_LE(refound - back, 10);
    EXPECT_EQ(onTargetAfter, framesAfter);
}

INSTANTIATE_TEST_SUITE_P(Levels, Redetect,
                         ::testing::Values(RedetectCase{"SameAsThreshold", std::nan(""), true},
                                           RedetectCase{"AtThreshold", 0.5, true},
                                           RedetectCase{"Recommended", 0.75, false},
                                           RedetectCase{"Higher", 0.88, false},
                                           RedetectCase{"Lower", 0.7, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace wyr::zok
