// The FFT engine against cv::matchTemplate: score by score over the inputs a tracker hands it,
// the edge cases of the normalisers, what it leaves to OpenCV, and its buffers.
#include <cmath>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "tracker/correlator.hpp"
#include "tracker/weight_mask.hpp"

namespace wyr::zok {
namespace {

constexpr double TOLERANCE = 1e-5;

#if ZOK_WITH_FFTW

cv::Mat reference(const cv::Mat& window, const cv::Mat& templ, const cv::Mat& mask, int method) {
    cv::Mat out;
    cv::matchTemplate(window, templ, out, method, mask);
    return out;
}

// Every score within TOLERANCE, and the same peak wherever OpenCV's
// best two scores are told apart by more than TOLERANCE.
void expectSameScores(const cv::Mat& expected, const cv::Mat& actual) {
    ASSERT_EQ(actual.size(), expected.size());
    ASSERT_EQ(actual.type(), CV_32FC1);
    double worst = 0;
    cv::Point worstAt;
    float first = -std::numeric_limits<float>::infinity();
    float second = first;
    for (int y = 0; y < expected.rows; ++y) {
        for (int x = 0; x < expected.cols; ++x) {
            const float e = expected.at<float>(y, x);
            const float a = actual.at<float>(y, x);
            // A zero normaliser: OpenCV's weighted scores divide by it and come out NaN or,
            // with a numerator left over from rounding, infinite; the engine's are NaN.
            if (!std::isfinite(e) || !std::isfinite(a)) {
                ASSERT_TRUE(!std::isfinite(e) && (std::isnan(a) || a == e))
                    << "at " << cv::Point(x, y) << ": OpenCV " << e << ", FFT " << a;
                continue;
            }
            if (std::fabs(double(a) - e) > worst) {
                worst = std::fabs(double(a) - e);
                worstAt = {x, y};
            }
            if (e > first) {
                second = first;
                first = e;
            } else if (e > second) {
                second = e;
            }
        }
    }
    EXPECT_LE(worst, TOLERANCE) << "at " << worstAt;
    if (double(first) - second > TOLERANCE) {
        cv::Point expectedPeak;
        cv::Point actualPeak;
        cv::minMaxLoc(expected, nullptr, nullptr, nullptr, &expectedPeak);
        cv::minMaxLoc(actual, nullptr, nullptr, nullptr, &actualPeak);
        EXPECT_EQ(actualPeak, expectedPeak);
    }
}

cv::Mat randomImage(const cv::Size& size, int type, cv::RNG& rng) {
    cv::Mat image(size, type);
    if (CV_MAT_DEPTH(type) == CV_8U) {
        rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    } else {
        rng.fill(image, cv::RNG::UNIFORM, 0.0, 1.0);
    }
    return image;
}

struct Shape {
    const char* name;
    cv::Size window;
    cv::Size templ;
};

// The tracker's windows: factor 4 around 40 x 30 and 64 x 64 targets (cut at a frame edge
// too), the smallest template, and odd sizes whose grids are not the window's size.
const Shape SHAPES[] = {
    {"Factor4", {321, 241}, {40, 30}},  {"CutAtEdge", {287, 199}, {40, 30}},
    {"Square64", {129, 129}, {64, 64}}, {"Smallest", {23, 29}, {7, 7}},
    {"Odd", {113, 67}, {13, 9}},        {"TemplateIsWindow", {31, 17}, {31, 17}},
};

using ScoreCase = std::tuple<int /* method */, int /* type */, bool /* weighted */, Shape>;

class FftScores : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(FftScores, MatchOpenCvOverRandomWindows) {
    const auto& [method, type, weighted, shape] = GetParam();
    cv::RNG rng(0x5eed + uint64_t(type) * 7 + uint64_t(method));
    const auto engine = Correlator::create(TrackerCorr::Engine::FFT, method);
    const cv::Mat mask = weighted ? buildWeightMask(shape.templ.height, shape.templ.width,
                                                    float(rng.uniform(-1.0, 2.0)))
                                  : cv::Mat();
    for (int round = 0; round < 2; ++round) {
        const cv::Mat window = randomImage(shape.window, type, rng);
        // Templates cut from the window give a clear peak; random ones, scores near the mean.
        const cv::Mat templ =
            round == 0 ? window(cv::Rect(cv::Point(shape.window.width - shape.templ.width,
                                                   shape.window.height - shape.templ.height) /
                                             2,
                                         shape.templ))
                       : randomImage(shape.templ, type, rng);
        SCOPED_TRACE(round == 0 ? "template cut from the window" : "random template");
        expectSameScores(reference(window, templ, mask, method),
                         engine->correlate(window, templ, mask));
    }
}

const int METHODS[] = {cv::TM_CCORR_NORMED, cv::TM_CCOEFF_NORMED};

std::string scoreCaseName(const ::testing::TestParamInfo<ScoreCase>& info) {
    const auto& [method, type, weighted, shape] = info.param;
    const int cn = CV_MAT_CN(type);
    return std::string(method == cv::TM_CCORR_NORMED ? "Ccorr" : "Ccoeff") +
           (CV_MAT_DEPTH(type) == CV_8U ? "8U" : "32F") + "C" + std::to_string(cn) +
           (weighted ? "Weighted" : "") + shape.name;
}

INSTANTIATE_TEST_SUITE_P(Shapes, FftScores,
                         ::testing::Combine(::testing::ValuesIn(METHODS),
                                            ::testing::Values(CV_8UC1, CV_8UC3, CV_32FC1, CV_32FC3),
                                            ::testing::Bool(), ::testing::ValuesIn(SHAPES)),
                         scoreCaseName);

INSTANTIATE_TEST_SUITE_P(Channels, FftScores,
                         ::testing::Combine(::testing::ValuesIn(METHODS),
                                            ::testing::Values(CV_8UC2, CV_8UC4, CV_32FC2, CV_32FC4),
                                            ::testing::Bool(), ::testing::Values(SHAPES[4])),
                         scoreCaseName);

// Windows and templates without variance, or all zero: the normalisers are zero and the scores
// follow OpenCV's rules (0, 1 or NaN) rather than rounding noise.
struct FlatCase {
    const char* name;
    double window; // < 0: random
    double templ;  // < 0: random
};

const FlatCase FLAT_CASES[] = {
    {"ZeroWindow", 0, -1},     {"FlatWindow", 97, -1}, {"ZeroTemplate", -1, 0},
    {"FlatTemplate", -1, 200}, {"BothFlat", 31, 31},   {"BothZero", 0, 0},
};

using FlatParam = std::tuple<int /* method */, int /* type */, bool /* weighted */, FlatCase>;

class FftFlatInputs : public ::testing::TestWithParam<FlatParam> {};

TEST_P(FftFlatInputs, ScoreAsOpenCvDoes) {
    const auto& [method, type, weighted, flat] = GetParam();
    cv::RNG rng(11);
    const cv::Size windowSize(61, 45);
    const cv::Size templSize(15, 11);
    cv::Mat window = flat.window < 0 ? randomImage(windowSize, type, rng)
                                     : cv::Mat(windowSize, type, cv::Scalar::all(flat.window));
    const cv::Mat templ = flat.templ < 0 ? randomImage(templSize, type, rng)
                                         : cv::Mat(templSize, type, cv::Scalar::all(flat.templ));
    const cv::Mat mask =
        weighted ? buildWeightMask(templSize.height, templSize.width, 0.0f) : cv::Mat();
    const auto engine = Correlator::create(TrackerCorr::Engine::FFT, method);
    // A first call on a textured window leaves values behind in the engine's arrays.
    engine->correlate(randomImage({70, 50}, type, rng), templ, mask);
    expectSameScores(reference(window, templ, mask, method),
                     engine->correlate(window, templ, mask));
}

std::string flatCaseName(const ::testing::TestParamInfo<FlatParam>& info) {
    const auto& [method, type, weighted, flat] = info.param;
    return std::string(method == cv::TM_CCORR_NORMED ? "Ccorr" : "Ccoeff") +
           (type == CV_8UC1   ? "Grey"
            : type == CV_8UC3 ? "Bgr"
                              : "Float") +
           (weighted ? "Weighted" : "") + flat.name;
}

INSTANTIATE_TEST_SUITE_P(Normalisers, FftFlatInputs,
                         ::testing::Combine(::testing::ValuesIn(METHODS),
                                            ::testing::Values(CV_8UC1, CV_8UC3, CV_32FC1),
                                            ::testing::Bool(), ::testing::ValuesIn(FLAT_CASES)),
                         flatCaseName);

// Masks from nearly flat down to nearly one pixel, over the tracker's window shapes: zero-mean
// masks too narrow for single precision go to OpenCV, the rest stay within TOLERANCE.
using MaskCase = std::tuple<int /* method */, float /* sigmaExp */, Shape>;

class FftNarrowMasks : public ::testing::TestWithParam<MaskCase> {};

std::string maskCaseName(const ::testing::TestParamInfo<MaskCase>& info) {
    const auto& [method, sigmaExp, shape] = info.param;
    const int tenths = int(std::lround(sigmaExp * 10));
    return std::string(method == cv::TM_CCORR_NORMED ? "Ccorr" : "Ccoeff") + "Sigma" +
           (tenths < 0 ? "Minus" : "") + std::to_string(std::abs(tenths)) + "Tenths" + shape.name;
}

TEST_P(FftNarrowMasks, MatchOpenCv) {
    const auto& [method, sigmaExp, shape] = GetParam();
    cv::RNG rng(0x3a5c + uint64_t(method));
    const auto engine = Correlator::create(TrackerCorr::Engine::FFT, method);
    const cv::Mat mask = buildWeightMask(shape.templ.height, shape.templ.width, sigmaExp);
    for (const int type : {CV_8UC1, CV_8UC3, CV_32FC1}) {
        const cv::Mat window = randomImage(shape.window, type, rng);
        const cv::Mat templ = window(cv::Rect(cv::Point(shape.window.width - shape.templ.width,
                                                        shape.window.height - shape.templ.height) /
                                                  2,
                                              shape.templ));
        SCOPED_TRACE(type);
        expectSameScores(reference(window, templ, mask, method),
                         engine->correlate(window, templ, mask));
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, FftNarrowMasks,
                         ::testing::Combine(::testing::ValuesIn(METHODS),
                                            ::testing::Values(1.0f, -1.0f, -2.0f, -2.5f, -3.0f,
                                                              -3.5f, -4.0f, -5.0f),
                                            ::testing::Values(SHAPES[0], SHAPES[2], SHAPES[3])),
                         maskCaseName);

// Boxes that hold next to nothing of their window's energy: a dim patch, black ones and a
// single dim pixel in black, in a bright window that also holds the template itself. The
// transforms' rounding there is larger than the scores; those boxes are left to OpenCV, whose
// own rounding there depends on the part of the window it is given. No value may beat the
// real peak, and every value is a correlation or no value at all (NaN).
class FftDimBoxes : public ::testing::TestWithParam<std::tuple<int /* method */, bool>> {};

TEST_P(FftDimBoxes, NeverBeatTheRealPeak) {
    const auto& [method, weighted] = GetParam();
    cv::RNG rng(17);
    const cv::Size templSize(13, 11);
    const cv::Mat mask =
        weighted ? buildWeightMask(templSize.height, templSize.width, 0.0f) : cv::Mat();
    const auto engine = Correlator::create(TrackerCorr::Engine::FFT, method);
    const cv::Point peak(120, 90);
    for (const int type : {CV_8UC1, CV_8UC3, CV_32FC1}) {
        SCOPED_TRACE(type);
        cv::Mat window = randomImage({160, 120}, type, rng);
        const cv::Mat templ = window(cv::Rect(peak, templSize)).clone();
        const cv::Rect black(10, 10, 40, 30);
        window(black).setTo(cv::Scalar::all(0));
        window(cv::Rect(60, 60, 40, 30)).setTo(cv::Scalar::all(0));
        window(cv::Rect(80, 75, 1, 1)).setTo(cv::Scalar::all(1));
        cv::Mat dim = window(cv::Rect(100, 20, 40, 40));
        dim.convertTo(dim, -1, CV_MAT_DEPTH(type) == CV_8U ? 0.02 : 1e-4);
        const cv::Mat expected = reference(window, templ, mask, method);
        const cv::Mat actual = engine->correlate(window, templ, mask);
        // Of the values that are scores (the tracker passes over the rest).
        cv::Mat scores;
        cv::compare(cv::abs(actual), 1.001, scores, cv::CMP_LE);
        cv::Point best;
        cv::minMaxLoc(actual, nullptr, nullptr, nullptr, &best, scores);
        EXPECT_EQ(best, peak);
        for (int y = 0; y < actual.rows; ++y) {
            for (int x = 0; x < actual.cols; ++x) {
                const float a = actual.at<float>(y, x);
                const float e = expected.at<float>(y, x);
                // Boxes wholly inside the black patch have no score, whatever either gives.
                if ((cv::Rect(x, y, templSize.width, templSize.height) & black).area() ==
                    templSize.area()) {
                    continue;
                }
                ASSERT_TRUE(std::isnan(a) || std::fabs(a) <= 1.001f)
                    << a << " at " << x << ", " << y;
                if (!std::isnan(a) && std::isfinite(e) && std::fabs(e) <= 1.0f) {
                    ASSERT_NEAR(a, e, 1e-3) << "at " << x << ", " << y;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Normalisers, FftDimBoxes,
                         ::testing::Combine(::testing::ValuesIn(METHODS), ::testing::Bool()));

// Inputs the engine leaves to cv::matchTemplate: the same scores, or the same error.
struct RoutedCase {
    const char* name;
    cv::Mat window;
    cv::Mat templ;
    cv::Mat mask;
};

class FftRouting : public ::testing::TestWithParam<RoutedCase> {};

TEST_P(FftRouting, GivesOpenCvsResultOrError) {
    const RoutedCase& c = GetParam();
    const auto engine = Correlator::create(TrackerCorr::Engine::FFT, cv::TM_CCORR_NORMED);
    cv::Mat expected;
    std::string expectedError;
    try {
        expected = reference(c.window, c.templ, c.mask, cv::TM_CCORR_NORMED);
    } catch (const cv::Exception& e) {
        expectedError = e.what();
    }
    if (expectedError.empty()) {
        const cv::Mat actual = engine->correlate(c.window, c.templ, c.mask);
        EXPECT_EQ(cv::norm(actual, expected, cv::NORM_INF), 0.0);
    } else {
        try {
            engine->correlate(c.window, c.templ, c.mask);
            ADD_FAILURE() << "no error; OpenCV raised " << expectedError;
        } catch (const cv::Exception& e) {
            EXPECT_EQ(std::string(e.what()), expectedError);
        }
    }
}

cv::Mat seeded(const cv::Size& size, int type, uint64_t seed) {
    cv::RNG rng(seed);
    return randomImage(size, type, rng);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, FftRouting,
    ::testing::Values(RoutedCase{"TemplateLargerThanWindow", seeded({20, 20}, CV_8UC1, 1),
                                 seeded({30, 30}, CV_8UC1, 2), cv::Mat()},
                      RoutedCase{"TemplateWiderOnly", seeded({20, 40}, CV_8UC1, 1),
                                 seeded({30, 10}, CV_8UC1, 2), cv::Mat()},
                      RoutedCase{"EmptyWindow", cv::Mat(), seeded({7, 7}, CV_8UC1, 2), cv::Mat()},
                      RoutedCase{"EmptyTemplate", seeded({20, 20}, CV_8UC1, 1), cv::Mat(),
                                 cv::Mat()},
                      RoutedCase{"SixteenBit", seeded({20, 20}, CV_16UC1, 1),
                                 seeded({7, 7}, CV_16UC1, 2), cv::Mat()},
                      RoutedCase{"MixedTypes", seeded({20, 20}, CV_8UC1, 1),
                                 seeded({7, 7}, CV_32FC1, 2), cv::Mat()},
                      RoutedCase{"FiveChannels", seeded({20, 20}, CV_8UC(5), 1),
                                 seeded({7, 7}, CV_8UC(5), 2), cv::Mat()},
                      RoutedCase{"ByteMask", seeded({20, 20}, CV_8UC1, 1),
                                 seeded({7, 7}, CV_8UC1, 2), seeded({7, 7}, CV_8UC1, 3)},
                      RoutedCase{"MaskPerChannel", seeded({20, 20}, CV_8UC3, 1),
                                 seeded({7, 7}, CV_8UC3, 2), seeded({7, 7}, CV_32FC3, 3)},
                      RoutedCase{"MaskOfAnotherSize", seeded({20, 20}, CV_8UC1, 1),
                                 seeded({7, 7}, CV_8UC1, 2), seeded({8, 7}, CV_32FC1, 3)}),
    [](const auto& info) { return std::string(info.param.name); });

// OpenCV 4.6 takes a one-channel weighted zero-mean response of 4 x 1 for a scalar and
// raises: both engines score it from the transposes instead.
TEST(FftEngine, ScoresTheFourByOneResponseOpenCvRaisesOn) {
    const cv::Mat window = seeded({32, 11}, CV_8UC1, 1);
    const cv::Mat templ = seeded({32, 8}, CV_8UC1, 2);
    const cv::Mat mask = buildWeightMask(8, 32, 0.0f);
    EXPECT_THROW(reference(window, templ, mask, cv::TM_CCOEFF_NORMED), cv::Exception);
    const cv::Mat opencv = Correlator::create(TrackerCorr::Engine::OPENCV, cv::TM_CCOEFF_NORMED)
                               ->correlate(window, templ, mask);
    const cv::Mat fft = Correlator::create(TrackerCorr::Engine::FFT, cv::TM_CCOEFF_NORMED)
                            ->correlate(window, templ, mask);
    const cv::Mat transposed = reference(window.t(), templ.t(), mask.t(), cv::TM_CCOEFF_NORMED);
    ASSERT_EQ(opencv.size(), cv::Size(1, 4));
    EXPECT_EQ(cv::norm(opencv, transposed.t(), cv::NORM_INF), 0.0);
    expectSameScores(opencv, fft);
}

TEST(FftEngine, OtherMethodsAreLeftToOpenCv) {
    const cv::Mat window = seeded({40, 30}, CV_8UC3, 1);
    const cv::Mat templ = seeded({9, 7}, CV_8UC3, 2);
    for (const int method : {cv::TM_SQDIFF, cv::TM_SQDIFF_NORMED, cv::TM_CCORR, cv::TM_CCOEFF}) {
        const cv::Mat actual =
            Correlator::create(TrackerCorr::Engine::FFT, method)->correlate(window, templ, {});
        EXPECT_EQ(cv::norm(actual, reference(window, templ, {}, method), cv::NORM_INF), 0.0)
            << method;
    }
}

TEST(FftEngine, ReusesItsResponseOnlyOnceTheCallerHasLetGo) {
    const cv::Mat templ = seeded({13, 9}, CV_8UC1, 2);
    const cv::Mat first = seeded({60, 40}, CV_8UC1, 1);
    const cv::Mat second = seeded({60, 40}, CV_8UC1, 3);
    const auto engine = Correlator::create(TrackerCorr::Engine::FFT, cv::TM_CCORR_NORMED);
    const cv::Mat held = engine->correlate(first, templ, {});
    const cv::Mat kept = held.clone();
    cv::Mat next = engine->correlate(second, templ, {});
    EXPECT_NE(next.data, held.data);
    EXPECT_EQ(cv::norm(held, kept, cv::NORM_INF), 0.0);
    expectSameScores(reference(second, templ, {}, cv::TM_CCORR_NORMED), next);

    // Once released, the same pixels come back for the next window, of another size too.
    const uchar* data = next.data;
    next.release();
    const cv::Mat smaller = seeded({50, 40}, CV_8UC1, 4);
    const cv::Mat again = engine->correlate(smaller, templ, {});
    EXPECT_EQ(again.data, data);
    expectSameScores(reference(smaller, templ, {}, cv::TM_CCORR_NORMED), again);
}

TEST(FftEngine, EnginesOnManyThreadsStayIndependent) {
    // Each thread plans and runs its own sizes at the same time as the others.
    std::vector<std::thread> threads;
    std::vector<double> worst(4, 0.0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &worst] {
            cv::RNG rng(uint64_t(100 + t));
            const auto engine = Correlator::create(
                TrackerCorr::Engine::FFT, t % 2 ? cv::TM_CCOEFF_NORMED : cv::TM_CCORR_NORMED);
            for (int k = 0; k < 6; ++k) {
                const cv::Mat window = randomImage({90 + 7 * k + t, 70 + 5 * k}, CV_8UC3, rng);
                const cv::Mat templ = randomImage({17, 13}, CV_8UC3, rng);
                const cv::Mat expected = reference(
                    window, templ, {}, t % 2 ? cv::TM_CCOEFF_NORMED : cv::TM_CCORR_NORMED);
                worst[size_t(t)] =
                    std::max(worst[size_t(t)], cv::norm(engine->correlate(window, templ, {}),
                                                        expected, cv::NORM_INF));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        EXPECT_LE(worst[size_t(t)], TOLERANCE) << "thread " << t;
    }
}

#else

TEST(FftEngine, IsReportedMissingFromThisBuild) {
    try {
        Correlator::create(TrackerCorr::Engine::FFT, cv::TM_CCORR_NORMED);
        FAIL() << "created an engine this build does not have";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, cv::Error::StsNotImplemented);
        EXPECT_NE(std::string(e.what()).find("-DZOK_WITH_FFTW=ON"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("libfftw3-dev"), std::string::npos) << e.what();
    }
    TrackerCorr::Params params;
    params.engine = TrackerCorr::Engine::FFT;
    EXPECT_THROW(TrackerCorr::create(params), cv::Exception);
}

#endif

} // namespace
} // namespace wyr::zok
