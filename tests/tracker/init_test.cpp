#include <climits>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "tracker/variance.hpp"
#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

using test::implOf;
using test::sharesPixels;

struct OffsetCase {
    cv::Size frame;
    cv::Rect box;
    cv::Point offset;
};

class InitOffset : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(InitOffset, RecordsTheCentreOffsetInEitherMode) {
    const OffsetCase& c = GetParam();
    const cv::Mat frame = test::texture(c.frame);
    for (const bool mode1D : {false, true}) {
        TrackerCorr::Params params;
        params.mode1D = mode1D;
        TrackerCorrImpl tracker(params);
        tracker.init(frame, c.box);
        if (mode1D) {
            EXPECT_EQ(tracker.historyX.oldest().offset, c.offset.x);
            EXPECT_EQ(tracker.historyY.oldest().offset, c.offset.y);
            EXPECT_EQ(tracker.historyX.oldest().templ.data, tracker.historyY.oldest().templ.data);
            EXPECT_EQ(tracker.history.count(), 0u);
        } else {
            EXPECT_EQ(tracker.history.oldest().offset, c.offset);
            EXPECT_EQ(tracker.history.oldest().subPixel, cv::Point(0, 0));
            EXPECT_EQ(tracker.historyX.count(), 0u);
        }
        EXPECT_EQ(
            (mode1D ? tracker.historyX.oldest().templ : tracker.history.oldest().templ).size(),
            c.box.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Halvings, InitOffset,
                         ::testing::Values(OffsetCase{{640, 480}, {100, 50, 40, 30}, {-200, -175}},
                                           // Odd sizes halve downwards.
                                           OffsetCase{{641, 481}, {0, 0, 41, 31}, {-300, -225}},
                                           OffsetCase{{640, 480}, {300, 220, 41, 41}, {0, 0}},
                                           OffsetCase{{641, 481}, {320, 240, 1, 1}, {0, 0}},
                                           OffsetCase{{101, 51}, {90, 40, 11, 11}, {45, 20}}));

struct CloneCase {
    const char* name;
    bool cloneImage;
    size_t depth;
    bool mode1D;
    bool expectView;
};

class InitTemplateCapture : public ::testing::TestWithParam<CloneCase> {};

TEST_P(InitTemplateCapture, ViewsSeeLaterWritesAndCopiesDoNot) {
    const CloneCase& c = GetParam();
    TrackerCorr::Params params;
    params.cloneImage = c.cloneImage;
    params.depth = c.depth;
    params.mode1D = c.mode1D;
    TrackerCorrImpl tracker(params);
    cv::Mat frame = test::texture({64, 48});
    tracker.init(frame, {10, 10, 20, 15});
    const cv::Mat& templ =
        c.mode1D ? tracker.historyX.newest().templ : tracker.history.newest().templ;
    EXPECT_EQ(sharesPixels(templ, frame), c.expectView);

    frame(cv::Rect(10, 10, 20, 15)).setTo(cv::Scalar(7));
    EXPECT_EQ(cv::countNonZero(templ != 7) == 0, c.expectView);
}

INSTANTIATE_TEST_SUITE_P(Cloning, InitTemplateCapture,
                         ::testing::Values(CloneCase{"ViewDepth1", false, 1, false, true},
                                           CloneCase{"ViewDepth0", false, 0, false, true},
                                           CloneCase{"ViewPerAxis", false, 1, true, true},
                                           CloneCase{"CloneRequested", true, 1, false, false},
                                           CloneCase{"CloneForcedByDepth", false, 2, false, false},
                                           CloneCase{"CloneForcedPerAxis", false, 5, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

class InitVarianceThreshold : public ::testing::Test {
protected:
    const cv::Mat frame = test::texture({64, 48});
    const cv::Rect box{8, 8, 24, 18};
    const double templateVariance = maxLocalVariance({3, false}, frame(box));

    TrackerCorrImpl initialised(double threshold, const cv::Mat& image) const {
        TrackerCorr::Params params;
        params.varianceFilter.threshold = threshold;
        TrackerCorrImpl tracker(params);
        tracker.init(image, box);
        return tracker;
    }
};

TEST_F(InitVarianceThreshold, CappedAtHalfTheTemplatesVariance) {
    ASSERT_GT(templateVariance, 0.0);
    TrackerCorrImpl tracker = initialised(0.8 * templateVariance, frame);
    EXPECT_DOUBLE_EQ(tracker.effectiveVarianceThreshold, 0.5 * templateVariance);
    EXPECT_DOUBLE_EQ(tracker.lastVariance, templateVariance);
    EXPECT_DOUBLE_EQ(tracker.variance(), templateVariance);
    EXPECT_DOUBLE_EQ(tracker.varianceThreshold, 0.8 * templateVariance);
}

TEST_F(InitVarianceThreshold, KeptWhenBelowTheCap) {
    TrackerCorrImpl tracker = initialised(0.3 * templateVariance, frame);
    EXPECT_DOUBLE_EQ(tracker.effectiveVarianceThreshold, 0.3 * templateVariance);
}

TEST_F(InitVarianceThreshold, FlatTemplateSwitchesTheFilterOff) {
    TrackerCorrImpl tracker = initialised(30.0, cv::Mat(48, 64, CV_8UC1, cv::Scalar(90)));
    EXPECT_EQ(tracker.effectiveVarianceThreshold, 0.0);
    EXPECT_EQ(tracker.variance(), 0.0);
}

TEST_F(InitVarianceThreshold, FilterOffRecordsNothing) {
    TrackerCorrImpl tracker = initialised(0.0, frame);
    EXPECT_EQ(tracker.variance(), 0.0);
    EXPECT_EQ(tracker.effectiveVarianceThreshold, 0.0);
}

TEST(InitWeightMask, BuiltOnlyBelowTheMaximumAndReusedForTheSameSize) {
    const cv::Mat frame = test::texture({64, 48});
    for (const float sigmaExp : {5.0f, 7.0f}) {
        TrackerCorr::Params params;
        params.sigmaExp = sigmaExp;
        TrackerCorrImpl tracker(params);
        tracker.init(frame, {0, 0, 20, 20});
        EXPECT_TRUE(tracker.weightMask.empty()) << sigmaExp;
    }
    TrackerCorr::Params params;
    params.sigmaExp = 4.99f;
    TrackerCorrImpl tracker(params);
    tracker.init(frame, {0, 0, 20, 10});
    EXPECT_EQ(tracker.weightMask.size(), cv::Size(20, 10));

    const uchar* first = tracker.weightMask.data;
    tracker.init(frame, {5, 5, 20, 10});
    EXPECT_EQ(tracker.weightMask.data, first);
    tracker.init(frame, {5, 5, 10, 20});
    EXPECT_EQ(tracker.weightMask.size(), cv::Size(10, 20));
}

TEST(Init, ClearsTheScoresOfTheLastUpdate) {
    const cv::Mat frame = test::texture({64, 48});
    TrackerCorrImpl tracker(TrackerCorr::Params{});
    tracker.init(frame, {10, 10, 20, 15});
    EXPECT_TRUE(tracker.matches().empty());
    cv::Rect box;
    tracker.update(frame, box);
    EXPECT_EQ(tracker.matches().size(), 1u);
    tracker.init(frame, {10, 10, 20, 15});
    EXPECT_TRUE(tracker.matches().empty());
}

TEST(InitErrors, BoxOutsideTheImageChangesNothing) {
    const cv::Mat frame = test::texture({64, 48});
    TrackerCorr::Params params;
    params.varianceFilter.threshold = 10.0;
    params.sigmaExp = 0.0f;
    TrackerCorrImpl tracker(params);
    for (const cv::Rect& box : {cv::Rect(-1, 0, 10, 10), cv::Rect(60, 0, 10, 10),
                                cv::Rect(0, 40, 10, 10), cv::Rect(0, 0, -5, 10)}) {
        EXPECT_THROW(tracker.init(frame, box), cv::Exception) << box;
    }
    EXPECT_EQ(tracker.history.count(), 0u);
    EXPECT_EQ(tracker.history.head(), 0u);
    EXPECT_TRUE(tracker.weightMask.empty());
    EXPECT_EQ(tracker.effectiveVarianceThreshold, 10.0);
}

// Far edges beyond int wrap round in OpenCV's own test of the region, so they must be caught in
// wider arithmetic before anything is cut from the frame.
struct FarEdgeCase {
    const char* name;
    cv::Rect box;
};

class InitFarEdgeBeyondInt : public ::testing::TestWithParam<std::tuple<FarEdgeCase, bool, bool>> {
};

TEST_P(InitFarEdgeBeyondInt, IsRefusedLikeABoxOutsideTheFrame) {
    const auto& [c, cloneImage, mode1D] = GetParam();
    TrackerCorr::Params params;
    params.cloneImage = cloneImage;
    params.mode1D = mode1D;
    params.varianceFilter.threshold = 10.0;
    TrackerCorrImpl tracker(params);
    const cv::Mat frame = test::texture({100, 100});
    try {
        tracker.init(frame, c.box);
        ADD_FAILURE() << "accepted " << c.box;
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, cv::Error::StsAssert);
    }
    EXPECT_EQ(tracker.history.count() + tracker.historyX.count() + tracker.historyY.count(), 0u);
    EXPECT_EQ(tracker.lastVariance, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, InitFarEdgeBeyondInt,
    ::testing::Combine(::testing::Values(FarEdgeCase{"Right", {INT_MAX - 5, 0, 10, 10}},
                                         FarEdgeCase{"Bottom", {0, INT_MAX - 5, 10, 10}},
                                         FarEdgeCase{"Width", {5, 0, INT_MAX, 10}},
                                         FarEdgeCase{"Height", {0, 5, 10, INT_MAX}},
                                         FarEdgeCase{"Both", {INT_MAX, INT_MAX, INT_MAX, INT_MAX}}),
                       ::testing::Bool(), ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "Clone" : "View") +
               (std::get<2>(info.param) ? "PerAxis" : "");
    });

// What an init that raises must leave exactly as it was.
struct TrackerState {
    size_t head;
    size_t count;
    const uchar* reference;
    cv::Point offset;
    double lastVariance;
    double effectiveVarianceThreshold;
    const uchar* weightMask;
    cv::Size weightMaskSize;
    std::vector<double> matches;

    explicit TrackerState(TrackerCorrImpl& t)
        : head(t.history.head()), count(t.history.count()),
          reference(t.history.oldest().templ.data), offset(t.history.oldest().offset),
          lastVariance(t.lastVariance), effectiveVarianceThreshold(t.effectiveVarianceThreshold),
          weightMask(t.weightMask.data), weightMaskSize(t.weightMask.size()),
          matches(t.matchScores) {}

    void expectSame(const TrackerState& o) const {
        EXPECT_EQ(head, o.head);
        EXPECT_EQ(count, o.count);
        EXPECT_EQ(reference, o.reference);
        EXPECT_EQ(offset, o.offset);
        EXPECT_EQ(lastVariance, o.lastVariance);
        EXPECT_EQ(effectiveVarianceThreshold, o.effectiveVarianceThreshold);
        EXPECT_EQ(weightMask, o.weightMask);
        EXPECT_EQ(weightMaskSize, o.weightMaskSize);
        EXPECT_EQ(matches, o.matches);
    }
};

struct FailedInitCase {
    const char* name;
    int kSize;
    bool greyscale;
    int code;
};

class FailedInit : public ::testing::TestWithParam<FailedInitCase> {};

// Started on a colour frame, so that a failure on the grey one comes from the texture measure;
// the failing box has another size, so that a weight mask built too early would show.
TEST_P(FailedInit, LeavesTheTrackerExactlyAsItWas) {
    const FailedInitCase& c = GetParam();
    for (const size_t depth : {size_t(1), size_t(3)}) {
        TrackerCorr::Params params;
        params.varianceFilter.threshold = 10.0;
        params.varianceFilter.kSize = c.kSize;
        params.varianceFilter.greyscale = c.greyscale;
        params.sigmaExp = 0.0f;
        params.depth = depth;
        TrackerCorrImpl tracker(params);
        const cv::Mat colour = test::texture({64, 48}, CV_8UC3);
        if (c.greyscale) {
            tracker.init(colour, {10, 10, 20, 15});
        }
        tracker.matchScores = {0.25, 0.5};
        const TrackerState before(tracker);

        const cv::Mat grey = test::texture({64, 48});
        try {
            tracker.init(grey, {20, 20, 30, 25});
            ADD_FAILURE() << "init succeeded";
        } catch (const cv::Exception& e) {
            EXPECT_EQ(e.code, c.code) << e.what();
        }
        before.expectSame(TrackerState(tracker));
    }
}

INSTANTIATE_TEST_SUITE_P(
    InitErrors, FailedInit,
    ::testing::Values(FailedInitCase{"GreyscaleOnOneChannel", 3, true, cv::Error::StsError},
                      FailedInitCase{"KSizeZero", 0, false, cv::Error::StsAssert},
                      FailedInitCase{"KSizeNegative", -3, false, cv::Error::StsAssert},
                      FailedInitCase{"KSizeAboveTheBound", VARIANCE_KSIZE_MAX + 1, false,
                                     cv::Error::StsOutOfRange},
                      FailedInitCase{"KSizeIntMax", INT_MAX, false, cv::Error::StsOutOfRange}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InitVarianceKSize, TheBoundItselfIsTakenAndOffFilterIgnoresAnySize) {
    const cv::Mat frame = test::texture({64, 48});
    TrackerCorr::Params params;
    params.varianceFilter.threshold = 10.0;
    params.varianceFilter.kSize = VARIANCE_KSIZE_MAX;
    TrackerCorrImpl bounded(params);
    bounded.init(frame, {10, 10, 20, 15});
    EXPECT_EQ(bounded.history.count(), 1u);

    params.varianceFilter.threshold = 0.0;
    params.varianceFilter.kSize = INT_MAX;
    TrackerCorrImpl off(params);
    off.init(frame, {10, 10, 20, 15});
    EXPECT_EQ(off.history.count(), 1u);
}

TEST(Init, EmptyImageAndBoxGiveAnEmptyTemplate) {
    TrackerCorr::Params params;
    params.varianceFilter.threshold = 10.0;
    TrackerCorrImpl tracker(params);
    tracker.init(cv::Mat(), cv::Rect());
    EXPECT_EQ(tracker.history.count(), 1u);
    EXPECT_TRUE(tracker.history.oldest().templ.empty());
    EXPECT_EQ(tracker.effectiveVarianceThreshold, 0.0);
}

// An empty box gives an empty template with the weight mask on too, on either engine and after
// a track of any depth; and a template of another size, which a deeper history keeps as its
// reference after a later init, is weighted as a tracker started on it alone weights it.
struct ReinitCase {
    const char* name;
    TrackerCorr::Engine engine;
    float sigmaExp;
};

void PrintTo(const ReinitCase& c, std::ostream* os) {
    *os << c.name;
}

class InitAfterATrack : public ::testing::TestWithParam<std::tuple<ReinitCase, size_t, bool>> {
protected:
    const cv::Mat frame = test::texture({96, 72});
    const cv::Rect first{30, 20, 24, 18};

    TrackerCorr::Params params() const {
        const auto& [c, depth, mode1D] = GetParam();
        TrackerCorr::Params p;
        p.engine = c.engine;
        p.sigmaExp = c.sigmaExp;
        p.depth = depth;
        p.mode1D = mode1D;
        return p;
    }

    // Started on `first` and followed for a frame.
    TrackerCorrImpl tracking() const {
        TrackerCorrImpl tracker(params());
        tracker.init(frame, first);
        cv::Rect box;
        EXPECT_TRUE(tracker.update(frame, box));
        return tracker;
    }
};

TEST_P(InitAfterATrack, AnEmptyBoxGivesAnEmptyTemplateThatScoresZero) {
    const size_t depth = std::get<1>(GetParam());
    const std::pair<cv::Mat, cv::Rect> empties[] = {
        {cv::Mat(), cv::Rect()}, {frame, {19, 11, 0, 12}}, {frame, {35, 42, 14, 0}}};
    for (const auto& [image, emptyBox] : empties) {
        SCOPED_TRACE(emptyBox);
        TrackerCorrImpl tracker = tracking();
        ASSERT_NO_THROW(tracker.init(image, emptyBox));
        EXPECT_TRUE(tracker.weightMask.empty());
        for (int i = 0; i < 3; ++i) {
            cv::Rect box(1, 2, 3, 4);
            bool found = false;
            ASSERT_NO_THROW(found = tracker.update(frame, box)) << i;
            if (depth == 1) {
                EXPECT_FALSE(found);
                EXPECT_EQ(box, cv::Rect(1, 2, 3, 4));
                EXPECT_EQ(tracker.matches(), std::vector<double>{0.0});
            }
        }
        // The tracker starts again on a box of any size.
        tracker.init(frame, {10, 10, 20, 16});
        cv::Rect box;
        EXPECT_TRUE(tracker.update(frame, box));
    }
}

TEST_P(InitAfterATrack, AnOlderReferenceOfAnotherSizeIsWeightedForItsOwnSize) {
    TrackerCorrImpl tracker = tracking();
    tracker.init(frame, {8, 40, 14, 20});
    TrackerCorrImpl alone(params());
    alone.init(frame, first);
    const size_t depth = std::get<1>(GetParam());
    cv::Rect box;
    cv::Rect boxAlone;
    bool found = false;
    ASSERT_NO_THROW(found = tracker.update(frame, box));
    EXPECT_TRUE(found);
    if (depth > 1) {
        // The reference is still the first template.
        EXPECT_TRUE(alone.update(frame, boxAlone));
        EXPECT_EQ(box, boxAlone);
        EXPECT_EQ(tracker.matches(), alone.matches());
    } else {
        EXPECT_EQ(box, cv::Rect(8, 40, 14, 20));
    }
}

std::vector<ReinitCase> reinitCases() {
    std::vector<ReinitCase> cases = {{"Weighted", TrackerCorr::Engine::OPENCV, 0.0f},
                                     {"Unweighted", TrackerCorr::Engine::OPENCV, SIGMA_EXP_MAX}};
#if ZOK_WITH_FFTW
    cases.push_back({"WeightedFft", TrackerCorr::Engine::FFT, 0.0f});
    cases.push_back({"UnweightedFft", TrackerCorr::Engine::FFT, SIGMA_EXP_MAX});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Engines, InitAfterATrack,
                         ::testing::Combine(::testing::ValuesIn(reinitCases()),
                                            ::testing::Values(size_t(1), size_t(3)),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "Depth" +
                                    std::to_string(std::get<1>(info.param)) +
                                    (std::get<2>(info.param) ? "PerAxis" : "");
                         });

} // namespace
} // namespace wyr::zok
