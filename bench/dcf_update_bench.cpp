// The learned tracker's update on BGR frames of 640 x 480 and 1280 x 720, for targets from 24 to
// 192 pixels a side: the grid is bounded, so the time should hardly grow with the target.
// OpenCV's KCF runs on the same frames, so that the ratio of the two is measured side by side.
#include <benchmark/benchmark.h>

#include <opencv2/tracking.hpp>

#include "synthetic/synthetic.hpp"
#include "zok/tracker_dcf.hpp"

namespace {

using namespace wyr::zok;

constexpr int kFrames = 16;

// A target walking back and forth, so that every update finds it and learns.
struct Walk {
    std::vector<cv::Mat> frames;
    cv::Rect first;
};

Walk walk(const benchmark::State& state) {
    synthetic::SceneOptions options;
    options.frameSize = state.range(0) == 720 ? cv::Size(1280, 720) : cv::Size(640, 480);
    const int side = int(state.range(1));
    options.targetSize = {side, side * 3 / 4};
    options.type = CV_8UC3;
    const synthetic::Scene scene(options);
    Walk w;
    const cv::Point start(options.frameSize.width / 3, options.frameSize.height / 3);
    for (int k = 0; k < kFrames; ++k) {
        const int step = k < kFrames / 2 ? k : kFrames - k;
        w.frames.push_back(scene.render(start + cv::Point(3 * step, 2 * step)));
    }
    w.first = cv::Rect(start, options.targetSize);
    return w;
}

void run(benchmark::State& state, cv::Tracker& tracker) {
    cv::setNumThreads(1); // one core per tracker, as in the accuracy benchmark
    const Walk w = walk(state);
    tracker.init(w.frames[0], w.first);
    size_t k = 1;
    cv::Rect box;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tracker.update(w.frames[k], box));
        k = (k + 1) % w.frames.size();
    }
}

void dcfUpdate(benchmark::State& state) {
    run(state, *TrackerDcf::create());
}

// With the aspect filter, whose cost should not grow with the target either.
void dcfAspectUpdate(benchmark::State& state) {
    TrackerDcf::Params params;
    params.aspectFilter = true;
    run(state, *TrackerDcf::create(params));
}

void kcfUpdate(benchmark::State& state) {
    run(state, *cv::TrackerKCF::create());
}

BENCHMARK(dcfUpdate)
    ->ArgsProduct({{480, 720}, {24, 48, 96, 192}})
    ->ArgNames({"height", "target"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(dcfAspectUpdate)
    ->ArgsProduct({{480, 720}, {24, 48, 96, 192}})
    ->ArgNames({"height", "target"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(kcfUpdate)
    ->ArgsProduct({{480, 720}, {24, 48, 96, 192}})
    ->ArgNames({"height", "target"})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
