// The learned tracker's features on a search region of 200 x 200 pixels, grey and BGR, on
// 4 x 4 cells. One OpenCV thread.
//   zok_features_bench --benchmark_repetitions=9
#include <vector>

#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK_MAIN();
