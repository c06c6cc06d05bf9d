// The learned tracker's update on BGR frames of 640 x 480 and 1280 x 720, for targets from 24 to
// 192 pixels a side: the grid is bounded, so the time should hardly grow with the target.
#include <benchmark/benchmark.h>

#include "synthetic/synthetic.hpp"
#include "zok/tracker_dcf.hpp"

namespace {

using namespace wyr::zok;

constexpr int kFrames = 16;

void dcfUpdate(benchmark::State& state) {
    synthetic::SceneOptions options;
    options.frameSize = state.range(0) == 720 ? cv::Size(1280, 720) : cv::Size(640, 480);
    const int side = int(state.range(1));
    options.targetSize = {side, side * 3 / 4};
    options.type = CV_8UC3;
    const synthetic::Scene scene(options);
    // A target walking back and forth, so that every update finds it and learns.
    std::vector<cv::Mat> frames;
    const cv::Point start(options.frameSize.width / 3, options.frameSize.height / 3);
    for (int k = 0; k < kFrames; ++k) {
        const int step = k < kFrames / 2 ? k : kFrames - k;
        frames.push_back(scene.render(start + cv::Point(3 * step, 2 * step)));
    }
    const cv::Ptr<TrackerDcf> tracker = TrackerDcf::create();
    tracker->init(frames[0], cv::Rect(start, options.targetSize));
    size_t k = 1;
    cv::Rect box;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tracker->update(frames[k], box));
        k = (k + 1) % frames.size();
    }
}
BENCHMARK(dcfUpdate)
    ->ArgsProduct({{480, 720}, {24, 48, 96, 192}})
    ->ArgNames({"height", "target"})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
