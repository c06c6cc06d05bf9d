// Runs two trackers that differ only in their correlation engine, OpenCV's and the FFT engine,
// over the same frames and boxes taken from the input: 8-bit and float frames (negative values,
// black and flat patches included) of 1 to 4 channels, any weighting, zero-mean or not, with the
// variance filter, sub-pixel refinement, per-axis templates and wider searches. Aborts when a
// score lies outside -1..1, or when the two part (flag, box, or without refinement a score)
// other than at a tie: the best two positions of a search within 1e-5, a score within 1e-5 of a
// threshold, or refinement between neighbouring sub-pixel steps. A flag may part at a tie of
// positions only where the engines settled on different ones and refinement or the variance
// filter then judged each by its own surroundings. After a tie the two histories differ, so the
// run stops there.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>

#include "geometry/geometry.hpp"
#include "tests/tracker/response_top_two.hpp"
#include "tracker/correlator.hpp"
#include "tracker/tracker_corr_impl.hpp"

namespace {

using wyr::zok::Correlator;
using wyr::zok::TrackerCorr;
using wyr::zok::TrackerCorrImpl;
using wyr::zok::testing::TopTwo;
using wyr::zok::testing::topTwo;

constexpr int kMaxSide = 48;
constexpr int kMaxFrames = 8;
constexpr double kTie = 1e-5;
// The engines' scores of boxes holding little of their window's energy are within 3e-5, and
// sub-pixel refinement weighs five values by bicubic weights adding up to at most 1.6.
constexpr double kScoreTolerance = 1.6 * 3e-5;

[[noreturn]] void fail(const char* what, int frame, double a, double b) {
    std::fprintf(stderr, "%s at frame %d: OpenCV %.9g, FFT %.9g\n", what, frame, a, b);
    std::abort();
}

cv::Mat consumeFrame(FuzzedDataProvider& in, const cv::Size& size, int type) {
    cv::Mat frame(size, type);
    cv::RNG rng(in.ConsumeIntegral<uint64_t>());
    if (CV_MAT_DEPTH(type) == CV_8U) {
        rng.fill(frame, cv::RNG::UNIFORM, 0, 256);
    } else {
        rng.fill(frame, cv::RNG::UNIFORM, -1.0, 1.0);
    }
    for (int k = in.ConsumeIntegralInRange(0, 3); k > 0; --k) {
        const int x = in.ConsumeIntegralInRange(0, size.width - 1);
        const int y = in.ConsumeIntegralInRange(0, size.height - 1);
        const cv::Rect patch(x, y, in.ConsumeIntegralInRange(1, size.width - x),
                             in.ConsumeIntegralInRange(1, size.height - y));
        // Black, or flat within the frame's range: the transforms' rounding scales with the
        // window's energy, and a patch far brighter than the texture would leave the texture's
        // scores to it.
        const double flat =
            CV_MAT_DEPTH(type) == CV_8U ? rng.uniform(0.0, 255.0) : rng.uniform(-1.0, 1.0);
        frame(patch).setTo(cv::Scalar::all(in.ConsumeBool() ? 0.0 : flat));
    }
    return frame;
}

TrackerCorr::Params consumeParams(FuzzedDataProvider& in) {
    TrackerCorr::Params p;
    p.searchRadiusFactor = in.ConsumeFloatingPointInRange(1.0f, 4.0f);
    p.zeroMean = in.ConsumeBool();
    p.threshold = in.ConsumeFloatingPointInRange(-0.2, 1.0);
    if (in.ConsumeBool()) {
        p.altSearchRadiiFactors = {in.ConsumeFloatingPointInRange(1.0f, 8.0f)};
        if (in.ConsumeBool()) {
            p.redetectThreshold = in.ConsumeFloatingPointInRange(-0.2, 1.0);
        }
    }
    p.sigmaExp = in.ConsumeBool() ? 5.0f : in.ConsumeFloatingPointInRange(-4.0f, 5.0f);
    p.mode1D = in.ConsumeBool();
    p.depth = in.ConsumeIntegralInRange<size_t>(1, 3);
    p.zoomFactor = in.ConsumeBool() ? 1 : in.ConsumeIntegralInRange(2, 6);
    if (in.ConsumeBool()) {
        p.varianceFilter.threshold = in.ConsumeFloatingPointInRange(0.0, 300.0);
    }
    if (in.ConsumeBool()) {
        p.updateThreshold = in.ConsumeFloatingPointInRange(0.0, 1.0);
    }
    return p;
}

bool near(double a, double b) {
    return std::fabs(a - b) <= kTie;
}

bool nearLevel(const TrackerCorr::Params& p, double score) {
    return near(score, p.threshold) ||
           (!std::isnan(p.redetectThreshold) && near(score, p.redetectThreshold)) ||
           (p.updateThreshold > 0 && near(score, p.updateThreshold));
}

// Ties among the searches the coming update may make, by the reference tracker's state: `any`,
// a search whose best two positions tie by OpenCV's engine; `parted`, such a search where the FFT
// engine's best position is another one.
struct Ties {
    bool any = false;
    bool parted = false;
};

Ties searchesTie(const cv::Ptr<TrackerCorr>& tracker, const TrackerCorr::Params& p,
                 const cv::Mat& frame) {
    const TrackerCorrImpl& impl = dynamic_cast<const TrackerCorrImpl&>(*tracker);
    std::vector<float> factors = {impl.searchRadiusFactor};
    for (const float f : p.altSearchRadiiFactors) {
        if (f > impl.searchRadiusFactor) {
            factors.push_back(f);
        }
    }
    const int method = p.zeroMean ? cv::TM_CCOEFF_NORMED : cv::TM_CCORR_NORMED;
    const auto opencv = Correlator::create(TrackerCorr::Engine::OPENCV, method);
    const auto fft = Correlator::create(TrackerCorr::Engine::FFT, method);
    Ties ties;
    const cv::Point centre = wyr::zok::imageCentre(frame.size());
    for (const float factor : factors) {
        for (int axis = 0; axis < (p.mode1D ? 2 : 1); ++axis) {
            const cv::Mat& templ =
                p.mode1D ? (axis == 0 ? impl.historyX.oldest().templ : impl.historyY.oldest().templ)
                         : impl.history.oldest().templ;
            const cv::Point offset =
                p.mode1D ? cv::Point(impl.historyX.oldest().offset, impl.historyY.oldest().offset)
                         : impl.history.oldest().offset;
            if (templ.empty() || templ.cols > frame.cols || templ.rows > frame.rows) {
                continue;
            }
            const cv::Rect window =
                wyr::zok::searchWindow(templ.size(), factor, centre + offset, frame.size());
            const TopTwo expected =
                topTwo(opencv->correlate(frame(window), templ, impl.weightMask));
            if (near(expected.first, expected.second)) {
                ties.any = true;
                const TopTwo actual = topTwo(fft->correlate(frame(window), templ, impl.weightMask));
                ties.parted = ties.parted || actual.at != expected.at;
            }
        }
    }
    return ties;
}

void run(FuzzedDataProvider& in) {
    const TrackerCorr::Params params = consumeParams(in);
    TrackerCorr::Params fftParams = params;
    fftParams.engine = TrackerCorr::Engine::FFT;
    const cv::Ptr<TrackerCorr> reference = TrackerCorr::create(params);
    cv::Ptr<TrackerCorr> fft;
    try {
        fft = TrackerCorr::create(fftParams);
    } catch (const cv::Exception&) {
        return; // a build without the FFT engine
    }
    const int type =
        CV_MAKETYPE(in.ConsumeBool() ? CV_8U : CV_32F, in.ConsumeIntegralInRange(1, 4));
    const cv::Size size(in.ConsumeIntegralInRange(7, kMaxSide),
                        in.ConsumeIntegralInRange(7, kMaxSide));
    const cv::Mat first = consumeFrame(in, size, type);
    const int w = in.ConsumeIntegralInRange(7, size.width);
    const int h = in.ConsumeIntegralInRange(7, size.height);
    const cv::Rect box(in.ConsumeIntegralInRange(0, size.width - w),
                       in.ConsumeIntegralInRange(0, size.height - h), w, h);
    reference->init(first, box);
    fft->init(first, box);
    for (int k = 1; k < kMaxFrames && in.remaining_bytes() > 0; ++k) {
        const cv::Mat frame = consumeFrame(in, size, type);
        const Ties ties = searchesTie(reference, params, frame);
        cv::Rect referenceBox;
        cv::Rect fftBox;
        const bool referenceFound = reference->update(frame, referenceBox);
        const bool fftFound = fft->update(frame, fftBox);
        const std::vector<double>& a = reference->matches();
        const std::vector<double>& b = fft->matches();
        bool level = false;
        for (const std::vector<double>* scores : {&a, &b}) {
            for (const double s : *scores) {
                if (!(s >= -1.0 && s <= 1.0)) {
                    fail("a score outside -1..1", k, a.empty() ? 0 : a.back(),
                         b.empty() ? 0 : b.back());
                }
                level = level || nearLevel(params, s);
            }
        }
        if (level) {
            return;
        }
        // Refinement can part between neighbouring sub-pixel steps, which may carry a box by a
        // pixel and change its score.
        const bool refined = params.zoomFactor > 1;
        if (a.size() != b.size() || referenceFound != fftFound) {
            // Positions that tie (a flat patch wider than the template scores the same all over)
            // are told apart by each engine's rounding. Where the engines settle on different
            // ones, a refined score is interpolated over other neighbours and the variance filter
            // measures another patch, so the flag may part with them.
            if (ties.parted && (refined || params.varianceFilter.threshold > 0)) {
                return;
            }
            fail("the flags part", k, a.back(), b.back());
        }
        if (referenceFound && referenceBox != fftBox) {
            const cv::Point apart = referenceBox.tl() - fftBox.tl();
            if (ties.any || (refined && std::abs(apart.x) <= 1 && std::abs(apart.y) <= 1)) {
                return;
            }
            fail("the boxes part", k, a.back(), b.back());
        }
        for (size_t i = 0; i < a.size() && !refined; ++i) {
            if (std::fabs(a[i] - b[i]) > kScoreTolerance) {
                if (ties.any) {
                    return;
                }
                fail("the scores part", k, a[i], b[i]);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    cv::setNumThreads(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    run(in);
    return 0;
}
