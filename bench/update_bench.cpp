// What the tracker adds to the one correlation it must do: an update on a 640 x 480 BGR frame
// with a 40 x 30 target and factor 4, beside a bare cv::matchTemplate over the same window.
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include "geometry/geometry.hpp"
#include "synthetic/synthetic.hpp"
#include "zok/tracker_corr.hpp"

namespace {

using namespace wyr::zok;

struct Sequence {
    synthetic::SceneOptions options;
    cv::Mat first;
    cv::Mat second;
    cv::Rect start{300, 225, 40, 30};

    Sequence() {
        options.type = CV_8UC3;
        const synthetic::Scene scene(options);
        first = scene.render(start.tl());
        second = scene.render(start.tl() + cv::Point(7, -5));
    }
};

const Sequence& sequence() {
    static const Sequence s;
    return s;
}

void updateOnce(benchmark::State& state) {
    const Sequence& s = sequence();
    TrackerCorr::Params params;
    params.zoomFactor = int(state.range(0));
    const cv::Ptr<TrackerCorr> tracker = TrackerCorr::create(params);
    for (auto _ : state) {
        // Re-initialising keeps every iteration the same search from the same reference.
        state.PauseTiming();
        tracker->init(s.first, s.start);
        state.ResumeTiming();
        cv::Rect box;
        benchmark::DoNotOptimize(tracker->update(s.second, box));
    }
}
BENCHMARK(updateOnce)->Arg(1)->Arg(4)->ArgName("zoomFactor")->Unit(benchmark::kMicrosecond);

void matchTemplateOnce(benchmark::State& state) {
    const Sequence& s = sequence();
    const cv::Mat templ = s.first(s.start);
    const cv::Rect window = searchWindow(templ.size(), 4.0f, boxCentre(s.start), s.second.size());
    cv::Mat response;
    for (auto _ : state) {
        cv::matchTemplate(s.second(window), templ, response, cv::TM_CCORR_NORMED);
        benchmark::DoNotOptimize(response.data);
    }
}
BENCHMARK(matchTemplateOnce)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
