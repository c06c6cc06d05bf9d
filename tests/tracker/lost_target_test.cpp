// Zero-mean scoring and the template an uncertain match cannot overwrite: what lets the tracker
// say it has lost its target, and come back to it.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

using test::implOf;
using test::sceneOptions;

bool samePixels(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(Params, NewFieldsDefaultToTheOldBehaviour) {
    const TrackerCorr::Params params;
    EXPECT_FALSE(params.zeroMean);
    EXPECT_EQ(params.updateThreshold, 0.0);
    EXPECT_EQ(params.engine, TrackerCorr::Engine::OPENCV);
    EXPECT_TRUE(std::isnan(params.redetectThreshold));
}

class FlatWindow : public ::testing::TestWithParam<std::tuple<float /* sigmaExp */, int>> {};

// A textured template over flat ground: plain correlation rates it close to a match, the
// correlation coefficient rates it 0, with or without the weight mask (whose unguarded
// division would give NaN there).
TEST_P(FlatWindow, ScoresZeroOnlyWithZeroMean) {
    const auto [sigmaExp, type] = GetParam();
    const synthetic::SceneOptions options = sceneOptions(type);
    const synthetic::Scene scene(options);
    const cv::Mat flat(options.frameSize, type, cv::Scalar::all(128));
    for (const bool zeroMean : {false, true}) {
        TrackerCorr::Params params;
        params.sigmaExp = sigmaExp;
        params.zeroMean = zeroMean;
        params.threshold = zeroMean ? 0.5 : 0.85;
        params.zoomFactor = 4;
        const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
        const cv::Rect start(cv::Point(150, 110), options.targetSize);
        cv::Rect box = start;
        tracker->init(scene.render(start.tl()), box);

        const bool found = tracker->update(flat, box);
        ASSERT_EQ(tracker->matches().size(), 1u);
        if (zeroMean) {
            EXPECT_FALSE(found);
            EXPECT_EQ(tracker->matches()[0], 0.0);
            EXPECT_EQ(box, start);
        } else {
            EXPECT_TRUE(found);
            EXPECT_GT(tracker->matches()[0], 0.85);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scoring, FlatWindow,
                         ::testing::Combine(::testing::Values(5.0f, 0.0f),
                                            ::testing::Values(CV_8UC1, CV_8UC3)));

struct Mode {
    const char* name;
    std::function<void(TrackerCorr::Params&)> set;
};

class ZeroMeanFollows : public ::testing::TestWithParam<Mode> {};

TEST_P(ZeroMeanFollows, WholePixelMotionExactly) {
    const synthetic::SceneOptions options = sceneOptions(CV_8UC3);
    const synthetic::Scene scene(options);
    const std::vector<cv::Point> truth = synthetic::randomWalk(options, {150, 110}, 120, 20, 5);
    TrackerCorr::Params params;
    params.zeroMean = true;
    params.threshold = 0.6;
    GetParam().set(params);
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    cv::Rect box(truth[0], options.targetSize);
    tracker->init(scene.render(truth[0]), box);
    for (size_t k = 1; k < truth.size(); ++k) {
        ASSERT_TRUE(tracker->update(scene.render(truth[k]), box)) << "frame " << k;
        ASSERT_EQ(box, cv::Rect(truth[k], options.targetSize)) << "frame " << k;
        ASSERT_GT(tracker->matches()[0], 0.99) << "frame " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ZeroMeanFollows,
    ::testing::Values(Mode{"Plain", [](auto&) {}}, Mode{"Zoom4", [](auto& p) { p.zoomFactor = 4; }},
                      Mode{"PerAxis", [](auto& p) { p.mode1D = true; }},
                      Mode{"Weighted", [](auto& p) { p.sigmaExp = 0.0f; }},
                      Mode{"UpdateThreshold", [](auto& p) { p.updateThreshold = 0.9; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ZeroMean, QuarterPixelDriftIsFollowed) {
    const synthetic::SceneOptions options = sceneOptions(CV_8UC1);
    const synthetic::Scene scene(options);
    TrackerCorr::Params params;
    params.zeroMean = true;
    params.threshold = 0.6;
    params.zoomFactor = 4;
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    const cv::Point2d start(140, 100);
    cv::Rect box(cv::Point(start), options.targetSize);
    tracker->init(scene.render(start), box);
    for (int k = 1; k <= 40; ++k) {
        const cv::Point2d truth = start + cv::Point2d(0.25 * k, 0.0);
        ASSERT_TRUE(tracker->update(scene.render(truth), box)) << k;
        EXPECT_EQ(box.y, 100);
        EXPECT_LT(std::abs(box.x - truth.x), 1.0) << k;
    }
}

// With zero-mean scores, a first window of flat ground scores 0 and the wider one is tried;
// plain correlation would have taken the flat ground for the target.
TEST(ZeroMean, FlatFirstWindowIsRetriedWider) {
    synthetic::SceneOptions options = sceneOptions(CV_8UC1);
    options.frameSize = {480, 240};
    options.flatRegions = {cv::Rect(0, 0, 200, 240)};
    const synthetic::Scene scene(options);
    TrackerCorr::Params params;
    params.zeroMean = true;
    params.threshold = 0.6;
    params.altSearchRadiiFactors = {3.0f, 12.0f};
    params.searchRadiusFactor = 2.0f;
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    const cv::Point start(60, 110);
    cv::Rect box(start, options.targetSize);
    tracker->init(scene.render(start), box);

    const cv::Point jumped(300, 100);
    ASSERT_TRUE(tracker->update(scene.render(jumped), box));
    ASSERT_EQ(tracker->matches().size(), 3u);
    EXPECT_EQ(tracker->matches()[0], 0.0);
    EXPECT_EQ(tracker->matches()[1], 0.0);
    EXPECT_GT(tracker->matches()[2], 0.99);
    EXPECT_EQ(box, cv::Rect(jumped, options.targetSize));
}

// An occluder of its own texture passes over a target moving right, covers it wholly for a
// while and moves on.
class Occlusion {
public:
    static constexpr int kFrames = 70;

    Occlusion() : scene_(options()) {
        cv::RNG rng(11);
        occluder_ = synthetic::makeTexture({40, 30}, CV_8UC1, rng);
    }

    static synthetic::SceneOptions options() { return sceneOptions(CV_8UC1); }
    cv::Point target(int k) const { return {80 + k, 110}; }
    // Slides in from the right to cover the target in frames 25-39, then leaves downwards.
    cv::Point occluder(int k) const {
        if (k < 25) {
            return {target(25).x - 8 + 6 * (25 - k), 104};
        }
        if (k < 40) {
            return {target(k).x - 8, 104};
        }
        return {target(40).x - 8, 104 + 5 * (k - 39)};
    }
    bool fullyHidden(int k) const {
        const cv::Rect t(target(k), options().targetSize);
        return (t & cv::Rect(occluder(k), occluder_.size())) == t;
    }
    cv::Mat frame(int k) const {
        cv::Mat image = scene_.render(target(k));
        const cv::Rect where = cv::Rect(occluder(k), occluder_.size()) & cv::Rect({}, image.size());
        if (!where.empty()) {
            occluder_(cv::Rect(where.tl() - occluder(k), where.size())).copyTo(image(where));
        }
        return image;
    }
    const cv::Mat& targetPixels() const { return scene_.target(); }

private:
    synthetic::Scene scene_;
    cv::Mat occluder_;
};

struct OcclusionCase {
    const char* name;
    std::function<void(TrackerCorr::Params&)> set;
    bool keepsTarget;
};

void PrintTo(const OcclusionCase& c, std::ostream* os) {
    *os << c.name;
}

class FullOcclusion : public ::testing::TestWithParam<OcclusionCase> {};

TEST_P(FullOcclusion, OccluderIsNotAdoptedAndTheTargetIsFoundAgain) {
    const Occlusion seq;
    TrackerCorr::Params params;
    GetParam().set(params);
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    const cv::Size size = Occlusion::options().targetSize;
    cv::Rect box(seq.target(0), size);
    tracker->init(seq.frame(0), box);
    int hidden = 0;
    bool templateClean = true;
    for (int k = 1; k < Occlusion::kFrames; ++k) {
        const bool found = tracker->update(seq.frame(k), box);
        if (seq.fullyHidden(k)) {
            ++hidden;
            if (GetParam().keepsTarget) {
                EXPECT_FALSE(found) << "frame " << k;
            }
        }
        templateClean =
            templateClean && samePixels(implOf(tracker).history.oldest().templ, seq.targetPixels());
    }
    ASSERT_GT(hidden, 5);
    const bool onTarget = box == cv::Rect(seq.target(Occlusion::kFrames - 1), size);
    EXPECT_EQ(templateClean, GetParam().keepsTarget);
    EXPECT_EQ(onTarget, GetParam().keepsTarget);
}

INSTANTIATE_TEST_SUITE_P(
    Lost, FullOcclusion,
    ::testing::Values(
        // The library's defaults take the occluder for the target and follow it away.
        OcclusionCase{"Defaults", [](auto&) {}, false},
        // Zero-mean scores say when the target is hidden, but partly hidden matches still
        // renew the template with occluder pixels in it.
        OcclusionCase{"ZeroMeanAlone",
                      [](auto& p) {
                          p.zeroMean = true;
                          p.threshold = 0.7;
                      },
                      false},
        OcclusionCase{"ZeroMeanWithUpdateThreshold",
                      [](auto& p) {
                          p.zeroMean = true;
                          p.threshold = 0.7;
                          p.updateThreshold = 0.9;
                      },
                      true},
        OcclusionCase{"Depth3",
                      [](auto& p) {
                          p.zeroMean = true;
                          p.threshold = 0.7;
                          p.updateThreshold = 0.9;
                          p.depth = 3;
                      },
                      true}),
    [](const auto& info) { return std::string(info.param.name); });

// An uncertain match moves the reference to where it was found and drops the run of newer
// templates, keeping the reference's pixels and its own sub-pixel remainder.
TEST(UpdateThreshold, UncertainMatchMovesTheReferenceOnly) {
    const synthetic::SceneOptions options = sceneOptions(CV_8UC1);
    const synthetic::Scene scene(options);
    for (const bool mode1D : {false, true}) {
        TrackerCorr::Params params;
        params.zeroMean = true;
        params.threshold = 0.5;
        params.updateThreshold = 0.95;
        params.zoomFactor = 4;
        params.depth = 3;
        params.mode1D = mode1D;
        const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
        const cv::Point start(150, 110);
        cv::Rect box(start, options.targetSize);
        tracker->init(scene.render(start), box);
        // Two confident matches in place fill the run behind the reference.
        ASSERT_TRUE(tracker->update(scene.render(start), box));
        ASSERT_TRUE(tracker->update(scene.render(start), box));
        const TrackerCorrImpl& impl = implOf(tracker);
        const cv::Mat reference =
            mode1D ? impl.historyX.oldest().templ.clone() : impl.history.oldest().templ.clone();

        // Moved by a fraction of a pixel and noisy: found, but below the update level.
        cv::Mat noisy = scene.render(cv::Point2d(start) + cv::Point2d(5.5, -3.25));
        cv::Mat noise(noisy.size(), CV_8UC1);
        cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 90);
        noisy += noise;
        ASSERT_TRUE(tracker->update(noisy, box)) << mode1D;
        ASSERT_LT(tracker->matches().back(), 0.95);
        EXPECT_NEAR(box.x, start.x + 5, 1);
        EXPECT_NEAR(box.y, start.y - 3, 1);

        const cv::Point moved = box.tl() + cv::Point(12, 9) - cv::Point(160, 120);
        if (mode1D) {
            ASSERT_EQ(impl.historyX.count(), 1u);
            ASSERT_EQ(impl.historyY.count(), 1u);
            EXPECT_TRUE(samePixels(impl.historyX.oldest().templ, reference));
            EXPECT_EQ(impl.historyX.oldest().offset, moved.x);
            EXPECT_EQ(impl.historyY.oldest().offset, moved.y);
            EXPECT_EQ(impl.historyX.oldest().subPixel, 0);
            EXPECT_EQ(impl.historyY.oldest().subPixel, 0);
        } else {
            ASSERT_EQ(impl.history.count(), 1u);
            EXPECT_TRUE(samePixels(impl.history.oldest().templ, reference));
            EXPECT_EQ(impl.history.oldest().offset, moved);
            EXPECT_EQ(impl.history.oldest().subPixel, cv::Point(0, 0));
        }
    }
}

} // namespace
} // namespace wyr::zok
