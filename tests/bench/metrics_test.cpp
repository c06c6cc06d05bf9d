// The measures on hand-made boxes whose scores are known exactly.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accuracy/dataset/metrics.hpp"

namespace wyr::zok::accuracy {
namespace {

struct OverlapCase {
    const char* name;
    cv::Rect2d a, b;
    double iou;
};

void PrintTo(const OverlapCase& c, std::ostream* os) {
    *os << c.name;
}

class Overlap : public ::testing::TestWithParam<OverlapCase> {};

TEST_P(Overlap, IsIntersectionOverUnionBothWays) {
    const OverlapCase& c = GetParam();
    EXPECT_DOUBLE_EQ(c.iou, overlap(c.a, c.b));
    EXPECT_DOUBLE_EQ(c.iou, overlap(c.b, c.a));
}

INSTANTIATE_TEST_SUITE_P(
    Metrics, Overlap,
    ::testing::Values(OverlapCase{"Same", {0, 0, 10, 10}, {0, 0, 10, 10}, 1.0},
                      OverlapCase{"HalfShifted", {0, 0, 10, 10}, {5, 0, 10, 10}, 1.0 / 3},
                      OverlapCase{"Contained", {0, 0, 10, 10}, {0, 0, 5, 10}, 0.5},
                      OverlapCase{"Touching", {0, 0, 10, 10}, {10, 0, 10, 10}, 0.0},
                      OverlapCase{"Fractional", {0.5, 0.5, 2, 2}, {1.5, 0.5, 2, 2}, 1.0 / 3},
                      OverlapCase{"BothEmpty", {3, 3, 0, 0}, {3, 3, 0, 0}, 0.0}));

const cv::Rect2d TRUTH(0, 0, 10, 10);

// Four frames of one truth with IoU 1, 1/3, 1/2 and 0, and centre errors 0, 5, 2.5 and 100.
const std::vector<cv::Rect2d> BOXES = {
    {0, 0, 10, 10}, {5, 0, 10, 10}, {0, 0, 5, 10}, {100, 0, 10, 10}};

TEST(Score, SuccessCountsOverlapsStrictlyAboveEachThreshold) {
    const Curves c = score(BOXES, std::vector<cv::Rect2d>(4, TRUTH), std::vector<bool>(4, true));
    // IoU 1 passes thresholds 0..0.95 (20 of 21), 1/3 passes 0..0.30 (7), 1/2 passes
    // 0..0.45 (10), 0 passes none.
    EXPECT_DOUBLE_EQ(37.0 / 84.0, c.successAuc());
    EXPECT_DOUBLE_EQ(0.75, c.success[0]);  // IoU 0 is not above 0
    EXPECT_DOUBLE_EQ(0.25, c.success[10]); // IoU 0.5 is not above 0.5
    EXPECT_DOUBLE_EQ(0.25, c.successAt50());
    EXPECT_DOUBLE_EQ(0.25, c.success[19]);
    EXPECT_DOUBLE_EQ(0.0, c.success[20]); // IoU 1 is not above 1
}

TEST(Score, PrecisionCountsErrorsUpToEachThreshold) {
    const Curves c = score(BOXES, std::vector<cv::Rect2d>(4, TRUTH), std::vector<bool>(4, true));
    EXPECT_DOUBLE_EQ(0.25, c.precision[0]); // the error 0 is at most 0
    EXPECT_DOUBLE_EQ(0.25, c.precision[2]);
    EXPECT_DOUBLE_EQ(0.50, c.precision[3]);
    EXPECT_DOUBLE_EQ(0.75, c.precision[5]); // the error 5 is at most 5
    EXPECT_DOUBLE_EQ(0.75, c.precisionAt20());
    EXPECT_DOUBLE_EQ(0.75, c.precision[50]);
}

TEST(Score, NormalisedPrecisionDividesByTheTruthsSize) {
    // The same boxes on a truth twice as wide: the x errors halve in normalised terms.
    std::vector<cv::Rect2d> boxes = BOXES;
    for (cv::Rect2d& b : boxes) {
        b.x *= 2;
        b.width *= 2;
    }
    const Curves c =
        score(boxes, std::vector<cv::Rect2d>(4, {0, 0, 20, 10}), std::vector<bool>(4, true));
    // Normalised errors 0, 0.5, 0.25 and 10.
    EXPECT_DOUBLE_EQ(0.25, c.normalised[24]);
    EXPECT_DOUBLE_EQ(0.50, c.normalised[25]);
    EXPECT_DOUBLE_EQ(0.75, c.normalised[50]);
    // 1 for all 51 thresholds, 1 for 26 (0.25..0.5), 1 for the last (0.5).
    EXPECT_DOUBLE_EQ((51.0 + 26.0 + 1.0) / (4 * 51.0), c.normalisedAuc());
}

TEST(Score, LeavesOutUnscoredFrames) {
    std::vector<cv::Rect2d> boxes = BOXES;
    std::vector<cv::Rect2d> truth(4, TRUTH);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    boxes.push_back({500, 500, 1, 1});
    truth.push_back({nan, nan, nan, nan});
    std::vector<bool> scored(5, true);
    scored[4] = false;
    const Curves c = score(boxes, truth, scored);
    EXPECT_DOUBLE_EQ(37.0 / 84.0, c.successAuc());
    EXPECT_DOUBLE_EQ(0.75, c.precisionAt20());

    const Curves none = score(boxes, truth, std::vector<bool>(5, false));
    EXPECT_DOUBLE_EQ(0.0, none.successAuc());
}

TEST(MeanCurves, WeighsEverySequenceAlikeWhateverItsLength) {
    const Curves perfect = score({TRUTH}, {TRUTH}, {true});
    const Curves lost = score(std::vector<cv::Rect2d>(9, {50, 50, 10, 10}),
                              std::vector<cv::Rect2d>(9, TRUTH), std::vector<bool>(9, true));
    const Curves m = meanCurves({perfect, lost});
    EXPECT_DOUBLE_EQ(0.5 * 20.0 / 21.0, m.successAuc());
    EXPECT_DOUBLE_EQ(0.5, m.precisionAt20());
}

struct QuantileCase {
    std::vector<double> values;
    double q, expected;
};

class Quantile : public ::testing::TestWithParam<QuantileCase> {};

TEST_P(Quantile, TakesTheNearestRank) {
    const QuantileCase& c = GetParam();
    EXPECT_DOUBLE_EQ(c.expected, quantile(c.values, c.q));
}

INSTANTIATE_TEST_SUITE_P(Metrics, Quantile,
                         ::testing::Values(QuantileCase{{}, 0.5, 0.0}, QuantileCase{{7}, 0.95, 7},
                                           QuantileCase{{4, 1, 3, 2}, 0.5, 2},
                                           QuantileCase{{5, 1, 3}, 0.5, 3},
                                           QuantileCase{{20, 19, 18, 17, 16, 15, 14, 13, 12, 11,
                                                         10, 9,  8,  7,  6,  5,  4,  3,  2,  1},
                                                        0.95,
                                                        19},
                                           QuantileCase{{2, 1}, 0.0, 1}));

// Frames 0..n-1 of one truth; frame k absent where absent[k] is set.
RealSequence flagSequence(const std::vector<bool>& absent) {
    RealSequence seq;
    seq.name = "flags";
    for (size_t k = 0; k < absent.size(); ++k) {
        seq.frames.push_back("f" + std::to_string(k));
        const double nan = std::numeric_limits<double>::quiet_NaN();
        seq.truth.push_back(absent[k] ? cv::Rect2d(nan, nan, nan, nan) : TRUTH);
        seq.absent.push_back(absent[k]);
    }
    return seq;
}

struct FlagCase {
    const char* name;
    std::vector<bool> absent;
    std::vector<cv::Rect2d> boxes;
    std::vector<uint8_t> found;
    double visibleLost, foundOffTarget, absentFound; // NaN: no such frame
};

void PrintTo(const FlagCase& c, std::ostream* os) {
    *os << c.name;
}

class Flag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(Flag, SharesOfTheFramesAfterTheStart) {
    const FlagCase& c = GetParam();
    const FlagShares f = flagShares(flagSequence(c.absent), 0, c.boxes, c.found);
    const auto expectShare = [](double want, double got) {
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(got)) << got;
        } else {
            EXPECT_DOUBLE_EQ(want, got);
        }
    };
    expectShare(c.visibleLost, f.visibleLost);
    expectShare(c.foundOffTarget, f.foundOffTarget);
    expectShare(c.absentFound, f.absentFound);
}

const cv::Rect2d ON = TRUTH;             // IoU 1
const cv::Rect2d EDGE(0, 0, 10, 3);      // IoU 0.3: still on the target
const cv::Rect2d BELOW(0, 0, 10, 2.9);   // IoU 0.29: off it
const cv::Rect2d AWAY(100, 100, 10, 10); // IoU 0
const double NONE = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Metrics, Flag,
    ::testing::Values(
        // The start frame (0) never counts, whatever its flag.
        FlagCase{"StartFrameLeftOut", {false, false}, {AWAY, ON}, {1, 1}, 0.0, 0.0, NONE},
        // Found on the target, found on background, lost (its box is not judged): a third each.
        FlagCase{"VisibleFrames",
                 {false, false, false, false},
                 {ON, ON, AWAY, AWAY},
                 {1, 1, 1, 0},
                 1.0 / 3,
                 1.0 / 3,
                 NONE},
        // An IoU of exactly the threshold is still on the target.
        FlagCase{"ThresholdIsOnTarget",
                 {false, false, false},
                 {ON, EDGE, BELOW},
                 {1, 1, 1},
                 0.0,
                 0.5,
                 NONE},
        FlagCase{"AbsentFrames",
                 {false, true, true, false},
                 {ON, AWAY, AWAY, AWAY},
                 {1, 1, 0, 0},
                 1.0,
                 0.0,
                 0.5},
        FlagCase{"OnlyAbsentFrames", {false, true}, {ON, AWAY}, {1, 1}, NONE, NONE, 1.0}));

} // namespace
} // namespace wyr::zok::accuracy
