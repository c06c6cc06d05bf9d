// The learned tracker's features on a search region of 200 x 200 pixels, grey and BGR: fHOG on
// 4 x 4 cells and the colour model. One OpenCV thread.
//   zok_features_bench --benchmark_repetitions=9
#include <vector>

#include <benchmark/benchmark.h>

#include "dcf/colour_model.hpp"
#include "dcf/fhog.hpp"
#include "synthetic/synthetic.hpp"

namespace {

using namespace wyr::zok;

cv::Mat region(int type) {
    cv::RNG rng(1);
    return synthetic::makeTexture({200, 200}, type, rng);
}

void BM_Fhog(benchmark::State& state, int type) {
    cv::setNumThreads(1);
    const cv::Mat image = region(type);
    FhogExtractor extractor;
    std::vector<cv::Mat> planes;
    extractor.compute(image, 4, planes);
    for (auto _ : state) {
        extractor.compute(image, 4, planes);
        benchmark::DoNotOptimize(planes[0].data);
    }
}
BENCHMARK_CAPTURE(BM_Fhog, grey_200, CV_8UC1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Fhog, bgr_200, CV_8UC3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Fhog, grey_float_200, CV_32FC1)->Unit(benchmark::kMicrosecond);

// Learning from a region with a 60 x 60 target, then its likelihood and the colour response.
void BM_ColourLearn(benchmark::State& state, int type) {
    cv::setNumThreads(1);
    const cv::Mat image = region(type);
    ColourModel model;
    for (auto _ : state) {
        model.learn(image, {70, 70, 60, 60}, 0.04f);
    }
}
BENCHMARK_CAPTURE(BM_ColourLearn, bgr_200, CV_8UC3)->Unit(benchmark::kMicrosecond);

void BM_ColourLikelihoodAndResponse(benchmark::State& state, int type) {
    cv::setNumThreads(1);
    const cv::Mat image = region(type);
    ColourModel model;
    model.learn(image, {70, 70, 60, 60}, 1.0f);
    cv::Mat likelihood;
    cv::Mat response;
    for (auto _ : state) {
        model.likelihood(image, likelihood);
        colourResponse(likelihood, {60, 60}, response);
        benchmark::DoNotOptimize(response.data);
    }
}
BENCHMARK_CAPTURE(BM_ColourLikelihoodAndResponse, bgr_200, CV_8UC3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ColourLikelihoodAndResponse, grey_200, CV_8UC1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
