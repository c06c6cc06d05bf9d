// The FFT correlation engine beside OpenCV's, and beside OpenCV's KCF and MedianFlow trackers,
// on generated 640 x 480 and 1280 x 720 sequences. One OpenCV thread throughout; the throughput
// benchmark runs one tracker per stream on a pool of native threads.
//   zok_engine_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/tracking.hpp>
#include <opencv2/tracking/tracking_legacy.hpp>

#include "synthetic/synthetic.hpp"
#include "zok/tracker_corr.hpp"
#if ZOK_WITH_FFTW
#include "fft/fft_grid.hpp"
#include "tracker/engines/fft_correlator.hpp"
#endif

namespace {

using namespace wyr::zok;

constexpr int SEQUENCE_LENGTH = 48;
constexpr int ROUNDS = 4;

struct Scenario {
    const char* name;
    cv::Size frame;
    cv::Size target;
    int type;
    float sigmaExp; // SIGMA_EXP_MAX: unweighted
};

const Scenario SCENARIOS[] = {
    {"640x480_bgr", {640, 480}, {40, 30}, CV_8UC3, SIGMA_EXP_MAX},
    {"640x480_bgr_weighted", {640, 480}, {40, 30}, CV_8UC3, 1.0f},
    {"640x480_grey", {640, 480}, {40, 30}, CV_8UC1, SIGMA_EXP_MAX},
    {"1280x720_bgr_64", {1280, 720}, {64, 64}, CV_8UC3, SIGMA_EXP_MAX},
};

// A target wandering a few pixels a frame: every update searches a new template.
struct Sequence {
    std::vector<cv::Mat> frames;
    std::vector<cv::Point> path;
    cv::Size target;

    explicit Sequence(const Scenario& s, uint64_t seed = 1) : target(s.target) {
        synthetic::SceneOptions options;
        options.frameSize = s.frame;
        options.targetSize = s.target;
        options.type = s.type;
        options.seed = seed;
        const synthetic::Scene scene(options);
        const cv::Point start((s.frame.width - s.target.width) / 2,
                              (s.frame.height - s.target.height) / 2);
        path = synthetic::randomWalk(options, start, SEQUENCE_LENGTH, 6, seed);
        for (const cv::Point& p : path) {
            frames.push_back(scene.render(p));
        }
    }

    cv::Rect start() const { return {path[0], target}; }
};

const Sequence& sequenceOf(size_t scenario) {
    static std::vector<std::unique_ptr<Sequence>> cache(std::size(SCENARIOS));
    if (!cache[scenario]) {
        cache[scenario] = std::make_unique<Sequence>(SCENARIOS[scenario]);
    }
    return *cache[scenario];
}

using TrackerFactory = std::function<cv::Ptr<cv::Tracker>(const Scenario&)>;

cv::Ptr<cv::Tracker> zokTracker(const Scenario& s, TrackerCorr::Engine engine) {
    TrackerCorr::Params params;
    params.sigmaExp = s.sigmaExp;
    params.engine = engine;
    return TrackerCorr::create(params);
}

cv::Ptr<cv::Tracker> kcfTracker(const Scenario&) {
    return cv::TrackerKCF::create();
}

cv::Ptr<cv::Tracker> medianFlowTracker(const Scenario&) {
    return cv::legacy::upgradeTrackingAPI(cv::legacy::TrackerMedianFlow::create());
}

// Updates over the sequence, frame after frame; starting a new tracker on the first frame when
// it runs out is left out of the time (OpenCV 4.6's KCF cannot be initialised twice).
void trackSequence(benchmark::State& state, size_t scenario, const TrackerFactory& make) {
    cv::setNumThreads(1);
    const Sequence& seq = sequenceOf(scenario);
    cv::Ptr<cv::Tracker> tracker = make(SCENARIOS[scenario]);
    tracker->init(seq.frames[0], seq.start());
    size_t k = 1;
    int64_t lost = 0;
    for (auto _ : state) {
        if (k == seq.frames.size()) {
            state.PauseTiming();
            tracker = make(SCENARIOS[scenario]);
            tracker->init(seq.frames[0], seq.start());
            k = 1;
            state.ResumeTiming();
        }
        cv::Rect box;
        lost += tracker->update(seq.frames[k++], box) ? 0 : 1;
    }
    state.counters["lost"] = benchmark::Counter(double(lost));
}

// N streams, each with its own tracker and frames, shared out over a pool of threads; every
// benchmark iteration is ROUNDS updates of every stream, after one untimed round that makes
// each tracker's first update (and the FFT engine's plans).
void throughput(benchmark::State& state, const TrackerFactory& make) {
    cv::setNumThreads(1);
    const int streams = int(state.range(0));
    const int threads = int(state.range(1));
    const Scenario& s = SCENARIOS[0];
    std::vector<std::unique_ptr<Sequence>> sequences;
    std::vector<cv::Ptr<cv::Tracker>> trackers;
    for (int i = 0; i < streams; ++i) {
        sequences.push_back(std::make_unique<Sequence>(s, uint64_t(i + 1)));
        trackers.push_back(make(s));
        trackers.back()->init(sequences.back()->frames[0], sequences.back()->start());
    }
    std::vector<size_t> next(size_t(streams), 1);
    const auto work = [&](int worker, int rounds) {
        for (int round = 0; round < rounds; ++round) {
            for (int i = worker; i < streams; i += threads) {
                const Sequence& seq = *sequences[size_t(i)];
                size_t& k = next[size_t(i)];
                if (k == seq.frames.size()) {
                    trackers[size_t(i)] = make(s);
                    trackers[size_t(i)]->init(seq.frames[0], seq.start());
                    k = 1;
                }
                cv::Rect box;
                trackers[size_t(i)]->update(seq.frames[k++], box);
            }
        }
    };
    const auto runPool = [&](int rounds) {
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) {
            pool.emplace_back(work, t, rounds);
        }
        work(0, rounds);
        for (std::thread& thread : pool) {
            thread.join();
        }
    };
    runPool(1);
    for (auto _ : state) {
        runPool(ROUNDS);
    }
    state.counters["updates_per_s"] = benchmark::Counter(
        double(state.iterations()) * streams * ROUNDS, benchmark::Counter::kIsRate);
}

#if ZOK_WITH_FFTW
// The first correlation of a new window size, planning included, with FFTW's wisdom forgotten
// so that every iteration plans from scratch.
void firstFrame(benchmark::State& state, unsigned flags) {
    const Sequence& seq = sequenceOf(0);
    const cv::Rect window(140, 105, 321, 241);
    const cv::Mat templ = seq.frames[0](seq.start());
    for (auto _ : state) {
        state.PauseTiming();
        {
            const auto lock = lockFftwPlanner();
            fftwf_forget_wisdom();
        }
        const auto engine = makeFftCorrelator(cv::TM_CCORR_NORMED, flags);
        state.ResumeTiming();
        benchmark::DoNotOptimize(engine->correlate(seq.frames[1](window), templ, {}).data);
    }
}

// Later frames of the same size with plans made each way (the first, planning, is not timed).
void planned(benchmark::State& state, unsigned flags) {
    const Sequence& seq = sequenceOf(0);
    const cv::Rect window(140, 105, 321, 241);
    const cv::Mat templ = seq.frames[0](seq.start());
    const auto engine = makeFftCorrelator(cv::TM_CCORR_NORMED, flags);
    engine->correlate(seq.frames[1](window), templ, {});
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine->correlate(seq.frames[1](window), templ, {}).data);
    }
}
#endif

void registerAll() {
    for (size_t i = 0; i < std::size(SCENARIOS); ++i) {
        const std::string name = std::string("update/") + SCENARIOS[i].name;
        benchmark::RegisterBenchmark((name + "/opencv").c_str(), [i](benchmark::State& st) {
            trackSequence(st, i, [](const Scenario& s) {
                return zokTracker(s, TrackerCorr::Engine::OPENCV);
            });
        })->Unit(benchmark::kMicrosecond);
#if ZOK_WITH_FFTW
        benchmark::RegisterBenchmark((name + "/fft").c_str(), [i](benchmark::State& st) {
            trackSequence(
                st, i, [](const Scenario& s) { return zokTracker(s, TrackerCorr::Engine::FFT); });
        })->Unit(benchmark::kMicrosecond);
#endif
    }
    benchmark::RegisterBenchmark("update/640x480_bgr/kcf", [](benchmark::State& st) {
        trackSequence(st, 0, kcfTracker);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("update/640x480_bgr/medianflow", [](benchmark::State& st) {
        trackSequence(st, 0, medianFlowTracker);
    })->Unit(benchmark::kMicrosecond);

    const std::pair<const char*, TrackerFactory> throughputTrackers[] = {
        {"opencv", [](const Scenario& s) { return zokTracker(s, TrackerCorr::Engine::OPENCV); }},
#if ZOK_WITH_FFTW
        {"fft", [](const Scenario& s) { return zokTracker(s, TrackerCorr::Engine::FFT); }},
#endif
        {"kcf", kcfTracker},
        {"medianflow", medianFlowTracker},
    };
    for (const auto& [name, make] : throughputTrackers) {
        benchmark::RegisterBenchmark((std::string("throughput/640x480_bgr/") + name).c_str(),
                                     [make = make](benchmark::State& st) { throughput(st, make); })
            ->Args({8, 2})
            ->ArgNames({"streams", "threads"})
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
#if ZOK_WITH_FFTW
    benchmark::RegisterBenchmark("first_frame/estimate", firstFrame, unsigned(FFTW_ESTIMATE))
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("first_frame/measure", firstFrame, unsigned(FFTW_MEASURE))
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("correlate/estimate_plan", planned, unsigned(FFTW_ESTIMATE))
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("correlate/measure_plan", planned, unsigned(FFTW_MEASURE))
        ->Unit(benchmark::kMicrosecond);
#endif
}

} // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
