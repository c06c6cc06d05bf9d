// Our fHOG beside dlib's, an independent implementation of the same features.
//
// dlib computes the cells of round(rows / cellSize) x round(cols / cellSize) and returns only
// the inner ones: its plane p at (y, x) is our plane p at (y + 1, x + 1). Given the image cut
// to our grid's area (the top-left (rows / cellSize) * cellSize x (cols / cellSize) * cellSize
// pixels) both see the same pixels, and every inner cell must agree; our border cells, which
// dlib leaves out, are only checked against the documented bounds.
//
// In colour, dlib's vector loop takes eight pixels at a time and leaves the last columns of
// each row to a scalar loop, which breaks ties of gradient magnitude between channels the
// other way (red before blue) than its vector loop and ours (the first channel in memory,
// blue). Smooth images have many ties of small gradients, so colour cells reached by those
// columns (through their votes or through a block) are left out; widths of 8k + 2 pixels have
// no such columns.
//
// Tolerance 1e-5 on values of at most 0.4: both sides round the same single-precision
// arithmetic, but add the bilinear votes in a different order (ours along a row first, then
// between rows), which moves a histogram by a few units in the last place; the normalisation
// and the truncation are continuous, so such rounding stays of the order of 1e-6.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "dcf/fhog.hpp"
#include "feature_test_util.hpp"

#if ZOK_HAVE_DLIB
#include <dlib/array.h>
#include <dlib/array2d.h>
#include <dlib/image_transforms.h>
#include <dlib/pixel.h>
#endif

namespace wyr::zok {
namespace {

struct DlibCase {
    std::string name;
    cv::Size size;
    int type; // CV_8UC1 or CV_8UC3
    int cellSize;
    bool noise; // noise, else a generated scene
};

class FhogAgainstDlib : public ::testing::TestWithParam<DlibCase> {};

constexpr double kTolerance = 1e-5;

#if ZOK_HAVE_DLIB
using DlibPlanes = dlib::array<dlib::array2d<float>>;

DlibPlanes dlibFhog(const cv::Mat& image, int cellSize) {
    DlibPlanes planes;
    if (image.channels() == 1) {
        dlib::array2d<unsigned char> img(image.rows, image.cols);
        for (int y = 0; y < image.rows; ++y) {
            for (int x = 0; x < image.cols; ++x) {
                img[y][x] = image.at<uchar>(y, x);
            }
        }
        dlib::extract_fhog_features(img, planes, cellSize);
    } else {
        dlib::array2d<dlib::rgb_pixel> img(image.rows, image.cols);
        for (int y = 0; y < image.rows; ++y) {
            for (int x = 0; x < image.cols; ++x) {
                const cv::Vec3b& bgr = image.at<cv::Vec3b>(y, x);
                img[y][x] = dlib::rgb_pixel(bgr[2], bgr[1], bgr[0]);
            }
        }
        dlib::extract_fhog_features(img, planes, cellSize);
    }
    return planes;
}

// The first of our cell columns that dlib's scalar loop reaches in a colour image of `width`
// pixels, or `cells` when it reaches none.
int firstCellOfScalarColumns(int width, int cellSize, int cells) {
    int x = 1;
    while (x < width - 1 - 7) {
        x += 8;
    }
    if (x >= width - 1) {
        return cells;
    }
    const int firstVotedCell = int(std::floor((x + 0.5) / cellSize - 0.5));
    return std::max(0, firstVotedCell - 1);
}
#endif

TEST_P(FhogAgainstDlib, InnerCellsAgree) {
#if !ZOK_HAVE_DLIB
    GTEST_SKIP() << "built without dlib";
#else
    const DlibCase& c = GetParam();
    const cv::Mat image =
        c.noise ? test::noiseImage(c.size, c.type, 11) : test::sceneImage(c.size, c.type, 12);
    std::vector<cv::Mat> ours;
    FhogExtractor().compute(image, c.cellSize, ours);
    const int cellsY = image.rows / c.cellSize;
    const int cellsX = image.cols / c.cellSize;
    const DlibPlanes theirs =
        dlibFhog(image(cv::Rect(0, 0, cellsX * c.cellSize, cellsY * c.cellSize)), c.cellSize);
    ASSERT_EQ(theirs.size(), size_t(FhogExtractor::kPlanes));

    const int comparedX = image.channels() == 1
                              ? cellsX - 1
                              : std::min(cellsX - 1, firstCellOfScalarColumns(cellsX * c.cellSize,
                                                                              c.cellSize, cellsX));
    ASSERT_GE(comparedX, cellsX / 2) << "most of the cells are compared";
    double worst = 0.0;
    double largest = 0.0;
    for (int p = 0; p < FhogExtractor::kPlanes; ++p) {
        ASSERT_EQ(theirs[p].nr(), cellsY - 2);
        ASSERT_EQ(theirs[p].nc(), cellsX - 2);
        for (int y = 0; y < cellsY - 2; ++y) {
            for (int x = 0; x + 1 < comparedX; ++x) {
                const double ourValue = ours[p].at<float>(y + 1, x + 1);
                worst = std::max(worst, std::abs(ourValue - theirs[p][y][x]));
                largest = std::max(largest, ourValue);
            }
        }
        double low = 0.0;
        double high = 0.0;
        cv::minMaxLoc(ours[p], &low, &high);
        EXPECT_GE(low, 0.0) << "plane " << p;
        EXPECT_LE(high, p < 27 ? 0.4 + 1e-6 : 0.2357 * 18 * 0.2 + 1e-6) << "plane " << p;
    }
    EXPECT_GT(largest, 0.05); // the comparison saw real features
    EXPECT_LE(worst, kTolerance);
    std::ostringstream deviation;
    deviation << worst;
    RecordProperty("max_deviation", deviation.str());
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Images, FhogAgainstDlib,
    ::testing::Values(DlibCase{"grey_noise_64_cell_4", {64, 64}, CV_8UC1, 4, true},
                      DlibCase{"grey_scene_200_cell_4", {200, 200}, CV_8UC1, 4, false},
                      DlibCase{"grey_scene_odd_cell_3", {97, 61}, CV_8UC1, 3, false},
                      DlibCase{"grey_noise_odd_cell_8", {90, 77}, CV_8UC1, 8, true},
                      DlibCase{"grey_noise_cell_2", {41, 30}, CV_8UC1, 2, true},
                      DlibCase{"grey_scene_cell_1", {23, 19}, CV_8UC1, 1, false},
                      DlibCase{"bgr_noise_64_cell_4", {64, 64}, CV_8UC3, 4, true},
                      DlibCase{"bgr_scene_200_cell_4", {200, 200}, CV_8UC3, 4, false},
                      DlibCase{"bgr_scene_odd_cell_5", {83, 58}, CV_8UC3, 5, false},
                      DlibCase{"bgr_scene_whole_cell_5", {90, 44}, CV_8UC3, 5, false},
                      DlibCase{"bgr_scene_whole_cell_6", {66, 71}, CV_8UC3, 6, false},
                      DlibCase{"bgr_scene_whole_cell_2", {50, 41}, CV_8UC3, 2, false},
                      DlibCase{"bgr_noise_odd_cell_6", {75, 100}, CV_8UC3, 6, true}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace wyr::zok
