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

// Each case's frames, one character a frame; frame 0 is the start, never counted. Visible and
// found with IoU 1 'o', exactly the threshold 0.3 'e' (still on the target), 0.29 'b' or 0 'x';
// visible and lost 'l' (its box away, not judged); absent and found 'A', absent and lost 'a'.
TEST(FlagShares, SharesOfTheFramesAfterTheStart) {
    const double none = std::numeric_limits<double>::quiet_NaN(); // no such frame
    struct Case {
        const char* frames;
        double visibleLost, foundOffTarget, absentFound;
    };
    for (const Case& c :
         {Case{"xo", 0.0, 0.0, none}, Case{"ooxl", 1.0 / 3, 1.0 / 3, none},
          Case{"oeb", 0.0, 0.5, none}, Case{"oAal", 1.0, 0.0, 0.5}, Case{"oA", none, none, 1.0}}) {
        SCOPED_TRACE(c.frames);
        RealSequence seq;
        std::vector<cv::Rect2d> boxes;
        std::vector<uint8_t> found;
        for (const char* f = c.frames; *f; ++f) {
            const bool absent = *f == 'A' || *f == 'a';
            seq.frames.push_back(std::string(1, *f));
            seq.truth.push_back(absent ? cv::Rect2d(none, none, none, none) : TRUTH);
            seq.absent.push_back(absent);
            boxes.push_back(*f == 'o'   ? TRUTH
                            : *f == 'e' ? cv::Rect2d(0, 0, 10, 3)
                            : *f == 'b' ? cv::Rect2d(0, 0, 10, 2.9)
                                        : cv::Rect2d(100, 100, 10, 10));
            found.push_back(*f != 'l' && *f != 'a');
        }
        const FlagShares got = flagShares(seq, 0, boxes, found);
        const double want[] = {c.visibleLost, c.foundOffTarget, c.absentFound};
        const double shares[] = {got.visibleLost, got.foundOffTarget, got.absentFound};
        for (int i = 0; i < 3; ++i) {
            if (std::isnan(want[i])) {
                EXPECT_TRUE(std::isnan(shares[i])) << i << ": " << shares[i];
            } else {
                EXPECT_DOUBLE_EQ(want[i], shares[i]) << i;
            }
        }
    }
}

} // namespace
} // namespace wyr::zok::accuracy
