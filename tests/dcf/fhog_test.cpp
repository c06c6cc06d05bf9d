#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "dcf/fhog.hpp"
#include "feature_test_util.hpp"

namespace wyr::zok {
namespace {

constexpr int kCell = 4;
constexpr int kSide = 48; // 12 x 12 cells; an edge at pixel 24 lies between cells 5 and 6

// A step from `low` to `high` between pixels 23 and 24, across x (vertical edge) or across y.
cv::Mat step(int type, double low, double high, bool acrossY = false) {
    cv::Mat image(kSide, kSide, type, cv::Scalar::all(low));
    const cv::Rect bright = acrossY ? cv::Rect(0, kSide / 2, kSide, kSide / 2)
                                    : cv::Rect(kSide / 2, 0, kSide / 2, kSide);
    image(bright).setTo(cv::Scalar::all(high));
    return image;
}

// A colour step whose channels rise or fall by different amounts: the largest decides.
cv::Mat colourStep(int type, cv::Scalar low, cv::Scalar high) {
    cv::Mat image(kSide, kSide, type, low);
    image(cv::Rect(kSide / 2, 0, kSide / 2, kSide)).setTo(high);
    return image;
}

struct EdgeCase {
    std::string name;
    std::function<cv::Mat()> make;
    int bin;      // the sensitive bin of the edge's gradient; -1 for a flat image
    bool acrossY; // the edge's cells are rows 5 and 6 instead of columns
};

class FhogKnownPatch : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(FhogKnownPatch, PutsTheEdgeInItsBinAndNothingElsewhere) {
    const EdgeCase& c = GetParam();
    std::vector<cv::Mat> planes;
    FhogExtractor().compute(c.make(), kCell, planes);
    ASSERT_EQ(planes.size(), size_t(FhogExtractor::kPlanes));
    for (int cy = 0; cy < kSide / kCell; ++cy) {
        for (int cx = 0; cx < kSide / kCell; ++cx) {
            const int across = c.acrossY ? cy : cx;
            const bool onEdge = c.bin >= 0 && (across == 5 || across == 6);
            SCOPED_TRACE(::testing::Message() << "cell " << cx << "," << cy);
            if (!onEdge) {
                for (const cv::Mat& plane : planes) {
                    ASSERT_EQ(plane.at<float>(cy, cx), 0.0f);
                }
                continue;
            }
            int strongest = 0;
            for (int o = 0; o < FhogExtractor::kSensitiveBins; ++o) {
                if (planes[o].at<float>(cy, cx) > planes[strongest].at<float>(cy, cx)) {
                    strongest = o;
                }
            }
            EXPECT_EQ(strongest, c.bin);
            EXPECT_EQ(planes[(c.bin + 9) % 18].at<float>(cy, cx), 0.0f);
            EXPECT_GT(planes[18 + c.bin % 9].at<float>(cy, cx), 0.1f);
            EXPECT_GT(planes[27].at<float>(cy, cx), 0.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patches, FhogKnownPatch,
    ::testing::Values(
        EdgeCase{"flat_grey", [] { return cv::Mat(kSide, kSide, CV_8UC1, 128); }, -1, false},
        EdgeCase{"flat_bgr_float",
                 [] { return cv::Mat(kSide, kSide, CV_32FC3, cv::Scalar(10, 99, 250)); }, -1,
                 false},
        EdgeCase{"rising_x_grey", [] { return step(CV_8UC1, 40, 200); }, 0, false},
        EdgeCase{"rising_x_float", [] { return step(CV_32FC1, 40, 200); }, 0, false},
        EdgeCase{"rising_x_bgr", [] { return step(CV_8UC3, 40, 200); }, 0, false},
        EdgeCase{"falling_x_grey", [] { return step(CV_8UC1, 200, 40); }, 9, false},
        EdgeCase{"falling_x_bgr_float", [] { return step(CV_32FC3, 200, 40); }, 9, false},
        // Straight down lies between the 80 and 100 degree bins; the first wins the tie.
        EdgeCase{"rising_y_grey", [] { return step(CV_8UC1, 40, 200, true); }, 4, true},
        EdgeCase{"falling_y_grey", [] { return step(CV_8UC1, 200, 40, true); }, 13, true},
        EdgeCase{"red_rises_most",
                 [] {
                     return colourStep(CV_8UC3, {150, 90, 40}, {120, 90, 200});
                 },
                 0, false},
        EdgeCase{"blue_falls_most",
                 [] {
                     return colourStep(CV_8UC3, {250, 90, 40}, {20, 90, 200});
                 },
                 9, false},
        EdgeCase{"green_falls_most_float",
                 [] {
                     return colourStep(CV_32FC3, {0, 255, 0}, {100, 0, 100});
                 },
                 9, false}),
    [](const auto& info) { return info.param.name; });

struct ImageCase {
    std::string name;
    cv::Size size;
    int type;
    int cellSize;
};

class FhogImages : public ::testing::TestWithParam<ImageCase> {};

// Inverting the image negates every gradient: the sensitive bins trade places exactly and the
// insensitive and energy planes stay as they were.
TEST_P(FhogImages, ContrastInversionSwapsOnlyTheSensitiveBins) {
    const ImageCase& c = GetParam();
    const cv::Mat image = test::sceneImage(c.size, c.type, 5);
    cv::Mat inverted;
    cv::subtract(cv::Scalar::all(255), image, inverted);
    FhogExtractor extractor;
    std::vector<cv::Mat> a;
    std::vector<cv::Mat> b;
    extractor.compute(image, c.cellSize, a);
    extractor.compute(inverted, c.cellSize, b);
    ASSERT_GT(cv::norm(a[0], cv::NORM_INF), 0.0);
    for (int o = 0; o < FhogExtractor::kSensitiveBins; ++o) {
        EXPECT_EQ(cv::norm(a[o], b[(o + 9) % 18], cv::NORM_INF), 0.0) << "bin " << o;
    }
    for (int p = FhogExtractor::kSensitiveBins; p < FhogExtractor::kPlanes; ++p) {
        // The energy planes sum the bins in another order: rounding only.
        EXPECT_LE(cv::norm(a[p], b[p], cv::NORM_INF), p < 27 ? 0.0 : 1e-6) << "plane " << p;
    }
}

// The same values as 8-bit and as float give the same features, bit for bit.
TEST_P(FhogImages, EightBitAndFloatAgree) {
    const ImageCase& c = GetParam();
    for (const cv::Mat& image :
         {test::sceneImage(c.size, c.type, 2), test::noiseImage(c.size, c.type, 3)}) {
        cv::Mat asFloat;
        image.convertTo(asFloat, CV_32F);
        std::vector<cv::Mat> a;
        std::vector<cv::Mat> b;
        FhogExtractor().compute(image, c.cellSize, a);
        FhogExtractor().compute(asFloat, c.cellSize, b);
        EXPECT_EQ(test::maxAbsDifference(a, b), 0.0);
    }
}

// A block reaching outside the grid takes the norm of the nearest one inside: at the top row
// the upper blocks equal the lower ones, at the left column the left ones equal the right
// ones, and so on; the energy planes show it directly.
TEST_P(FhogImages, BorderCellsReuseTheirInnerBlocks) {
    const ImageCase& c = GetParam();
    std::vector<cv::Mat> p;
    FhogExtractor().compute(test::sceneImage(c.size, c.type, 4), c.cellSize, p);
    const int last = p[0].rows - 1;
    const int right = p[0].cols - 1;
    // Planes 27..30: down-right, up-right, down-left, up-left blocks.
    EXPECT_EQ(cv::norm(p[27].row(0), p[28].row(0), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(p[29].row(0), p[30].row(0), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(p[27].row(last), p[28].row(last), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(p[27].col(0), p[29].col(0), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(p[28].col(0), p[30].col(0), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(p[27].col(right), p[29].col(right), cv::NORM_INF), 0.0);
    // Inner cells see four different blocks.
    EXPECT_GT(
        cv::norm(p[27].row(1).colRange(1, right), p[30].row(1).colRange(1, right), cv::NORM_INF),
        0.0);
}

INSTANTIATE_TEST_SUITE_P(Images, FhogImages,
                         ::testing::Values(ImageCase{"grey_64", {64, 64}, CV_8UC1, 4},
                                           ImageCase{"bgr_64", {64, 64}, CV_8UC3, 4},
                                           ImageCase{"grey_odd", {53, 38}, CV_8UC1, 3},
                                           ImageCase{"bgr_odd", {41, 70}, CV_8UC3, 6},
                                           ImageCase{"grey_cell_1", {20, 17}, CV_8UC1, 1}),
                         [](const auto& info) { return info.param.name; });

// Later calls of one size write into the same planes; and a float frame, which is read in
// place, is never written through by a later 8-bit call.
TEST(FhogExtractor, ReusesItsPlanesAndLeavesTheFrameAlone) {
    FhogExtractor extractor;
    std::vector<cv::Mat> planes;
    cv::Mat asFloat;
    test::noiseImage({40, 40}, CV_8UC1, 7).convertTo(asFloat, CV_32F);
    const cv::Mat original = asFloat.clone();
    extractor.compute(asFloat, 4, planes);
    const uchar* const first = planes[0].data;
    const uchar* const last = planes[30].data;
    extractor.compute(test::sceneImage({40, 40}, CV_8UC1, 8), 4, planes);
    EXPECT_EQ(cv::norm(asFloat, original, cv::NORM_INF), 0.0);
    EXPECT_EQ(planes[0].data, first);
    EXPECT_EQ(planes[30].data, last);
    extractor.compute(asFloat, 5, planes);
    EXPECT_EQ(planes[0].size(), cv::Size(8, 8));
}

struct BadInput {
    std::string name;
    cv::Mat image;
    int cellSize;
    int code;
    std::string message;
};

class FhogBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(FhogBadInput, RaisesAndLeavesThePlanesAlone) {
    const BadInput& c = GetParam();
    std::vector<cv::Mat> planes(3, cv::Mat(2, 2, CV_32F, 1.0f));
    try {
        FhogExtractor().compute(c.image, c.cellSize, planes);
        FAIL() << "no exception";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, c.code);
        EXPECT_NE(e.err.find(c.message), std::string::npos) << e.err;
    }
    ASSERT_EQ(planes.size(), 3u);
    EXPECT_EQ(planes[0].at<float>(1, 1), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, FhogBadInput,
    ::testing::Values(BadInput{"empty", cv::Mat(), 4, cv::Error::StsBadArg, "the image is empty"},
                      BadInput{"sixteen_bit", cv::Mat::zeros(32, 32, CV_16UC1), 4,
                               cv::Error::StsUnsupportedFormat,
                               "must be CV_8UC1, CV_8UC3, CV_32FC1 or CV_32FC3"},
                      BadInput{"four_channels", cv::Mat::zeros(32, 32, CV_8UC4), 4,
                               cv::Error::StsUnsupportedFormat, "must be CV_8UC1"},
                      BadInput{"cell_zero", cv::Mat::zeros(32, 32, CV_8UC1), 0,
                               cv::Error::StsOutOfRange, "cellSize must be at least 1"},
                      BadInput{"one_cell_high", cv::Mat::zeros(7, 32, CV_8UC1), 4,
                               cv::Error::StsBadSize, "at least 2 x 2 cells"},
                      BadInput{"one_cell_wide", cv::Mat::zeros(32, 11, CV_32FC3), 6,
                               cv::Error::StsBadSize, "at least 2 x 2 cells"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace wyr::zok
