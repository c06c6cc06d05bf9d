// Trackers that differ only in their correlation engine, run side by side over generated
// sequences: every frame must give the same flag, the same box and the same scores.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "tracker_test_util.hpp"

namespace wyr::zok {
namespace {

#if ZOK_WITH_FFTW

struct Mode {
    const char* name;
    std::function<void(TrackerCorr::Params&)> set;
};

using AgreementCase = std::tuple<Mode, int /* frame type */>;

class EnginesAgree : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(EnginesAgree, FrameByFrame) {
    const auto& [mode, type] = GetParam();
    synthetic::SceneOptions options;
    options.frameSize = {320, 240};
    options.targetSize = {24, 18};
    options.type = CV_MAT_DEPTH(type) == CV_8U ? type : CV_8UC(CV_MAT_CN(type));
    options.seed = 5;
    options.flatRegions = {cv::Rect(0, 0, 90, 240)};
    const synthetic::Scene scene(options);
    // Steps of up to 14 pixels from the middle to the edges and the flat ground: windows cut
    // at the frame's edges, wider searches and lost frames all come up.
    const std::vector<cv::Point> path = synthetic::randomWalk(options, {150, 110}, 64, 14, 9);

    TrackerCorr::Params params;
    // Demanding enough that frames without the target are lost.
    params.threshold = 0.97;
    mode.set(params);
    TrackerCorr::Params fftParams = params;
    fftParams.engine = TrackerCorr::Engine::FFT;
    const cv::Ptr<TrackerCorr> reference = TrackerCorr::create(params);
    const cv::Ptr<TrackerCorr> fft = TrackerCorr::create(fftParams);

    const auto frameAt = [&](size_t k) {
        // Every seventh frame shows no target at all.
        cv::Mat frame = scene.render(path[k], k % 7 != 6);
        if (CV_MAT_DEPTH(type) == CV_32F) {
            frame.convertTo(frame, type, 1.0 / 255);
        }
        return frame;
    };
    cv::Rect referenceBox(path[0], options.targetSize);
    cv::Rect fftBox = referenceBox;
    reference->init(frameAt(0), referenceBox);
    fft->init(frameAt(0), fftBox);
    int found = 0;
    for (size_t k = 1; k < path.size(); ++k) {
        const cv::Mat frame = frameAt(k);
        const bool referenceFound = reference->update(frame, referenceBox);
        ASSERT_EQ(fft->update(frame, fftBox), referenceFound) << "frame " << k;
        ASSERT_EQ(fftBox, referenceBox) << "frame " << k;
        const std::vector<double>& expected = reference->matches();
        const std::vector<double>& actual = fft->matches();
        ASSERT_EQ(actual.size(), expected.size()) << "frame " << k;
        for (size_t i = 0; i < expected.size(); ++i) {
            if (std::isnan(expected[i])) {
                EXPECT_TRUE(std::isnan(actual[i])) << "frame " << k << ", search " << i;
            } else {
                EXPECT_NEAR(actual[i], expected[i], 1e-5) << "frame " << k << ", search " << i;
            }
        }
        EXPECT_EQ(fft->variance(), reference->variance()) << "frame " << k;
        found += referenceFound ? 1 : 0;
    }
    // The sequence is hard enough to lose the target sometimes, and easy enough to keep it.
    EXPECT_GT(found, 30);
    EXPECT_LT(found, int(path.size()) - 1);
}

const Mode MODES[] = {
    {"Plain", [](auto&) {}},
    {"PerAxis", [](auto& p) { p.mode1D = true; }},
    {"Depth4", [](auto& p) { p.depth = 4; }},
    {"Zoom4", [](auto& p) { p.zoomFactor = 4; }},
    {"Weighted", [](auto& p) { p.sigmaExp = 0.5f; }},
    {"WiderSearches",
     [](auto& p) {
         p.threshold = 0.99;
         p.altSearchRadiiFactors = {6.0f, 9.0f};
     }},
    {"VarianceFilter", [](auto& p) { p.varianceFilter.threshold = 100.0; }},
};

std::string agreementName(const ::testing::TestParamInfo<AgreementCase>& info) {
    const int type = std::get<1>(info.param);
    return std::string(std::get<0>(info.param).name) + (type == CV_8UC1   ? "Grey"
                                                        : type == CV_8UC3 ? "Bgr"
                                                                          : "Float");
}

INSTANTIATE_TEST_SUITE_P(Modes, EnginesAgree,
                         ::testing::Combine(::testing::ValuesIn(MODES),
                                            ::testing::Values(CV_8UC1, CV_8UC3)),
                         agreementName);

// Float frames take the engine's other road to the window sums.
INSTANTIATE_TEST_SUITE_P(FloatFrames, EnginesAgree,
                         ::testing::Combine(::testing::Values(MODES[0], MODES[4]),
                                            ::testing::Values(CV_32FC3)),
                         agreementName);

#else

TEST(EnginesAgree, TrackerWithTheFftEngineIsRefused) {
    TrackerCorr::Params params;
    params.engine = TrackerCorr::Engine::FFT;
    try {
        TrackerCorr::create(params);
        FAIL() << "created a tracker with an engine this build does not have";
    } catch (const cv::Exception& e) {
        EXPECT_EQ(e.code, cv::Error::StsNotImplemented);
    }
}

#endif

} // namespace
} // namespace wyr::zok
