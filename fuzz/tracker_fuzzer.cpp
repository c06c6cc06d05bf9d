// Drives the correlation tracker, bare and through the flight director, and the learned tracker,
// with parameters, frames (every depth, 1 to 4 channels, any size up to 64 x 64, views into
// larger matrices), boxes and call sequences taken from the input. Only cv::Exception may leave
// a call, and a box (or an offset) reported with true must lie inside the frame it was found in.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include <opencv2/core.hpp>

#include "geometry/geometry.hpp"
#include "zok/flight_director.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace {

using wyr::zok::FlightDirector;
using wyr::zok::TrackerCorr;
using wyr::zok::TrackerDcf;

constexpr int kMaxSide = 64;
constexpr int kMaxCalls = 24;

[[noreturn]] void fail(const char* what, const cv::Rect& box, const cv::Mat& frame) {
    std::fprintf(stderr, "%s: box (%d, %d, %d, %d) in a %d x %d frame\n", what, box.x, box.y,
                 box.width, box.height, frame.cols, frame.rows);
    std::abort();
}

// Mostly small values near the frame, now and then the extremes of int.
int consumeCoordinate(FuzzedDataProvider& in) {
    static const int extremes[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX};
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        return extremes[in.ConsumeIntegralInRange<size_t>(0, std::size(extremes) - 1)];
    }
    return in.ConsumeIntegralInRange(-8, kMaxSide + 8);
}

cv::Rect consumeBox(FuzzedDataProvider& in) {
    const int x = consumeCoordinate(in);
    const int y = consumeCoordinate(in);
    const int width = consumeCoordinate(in);
    const int height = consumeCoordinate(in);
    return {x, y, width, height};
}

float consumeFloat(FuzzedDataProvider& in, float low, float high) {
    switch (in.ConsumeIntegralInRange(0, 15)) {
    case 0:
        return std::numeric_limits<float>::quiet_NaN();
    case 1:
        return std::numeric_limits<float>::infinity();
    case 2:
        return -std::numeric_limits<float>::infinity();
    default:
        return in.ConsumeFloatingPointInRange(low, high);
    }
}

TrackerCorr::Params consumeParams(FuzzedDataProvider& in) {
    TrackerCorr::Params params;
    params.searchRadiusFactor = consumeFloat(in, -2.0f, 8.0f);
    params.threshold = consumeFloat(in, -0.5f, 1.5f);
    const int alternatives = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < alternatives; ++i) {
        params.altSearchRadiiFactors.push_back(consumeFloat(in, -1.0f, 12.0f));
    }
    params.sigmaExp = consumeFloat(in, -4.0f, 6.0f);
    params.cloneImage = in.ConsumeBool();
    params.depth = in.ConsumeIntegralInRange<size_t>(0, 40);
    params.zoomFactor = in.ConsumeIntegralInRange(-2, 24);
    params.mode1D = in.ConsumeBool();
    params.varianceFilter.threshold = in.ConsumeBool() ? 0.0 : consumeFloat(in, -10.0f, 3000.0f);
    params.varianceFilter.kSize =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 9) : consumeCoordinate(in);
    params.varianceFilter.greyscale = in.ConsumeBool();
    params.engine = static_cast<TrackerCorr::Engine>(in.ConsumeIntegralInRange(0, 2));
    params.zeroMean = in.ConsumeBool();
    params.updateThreshold = in.ConsumeBool() ? 0.0 : consumeFloat(in, -0.5f, 1.5f);
    return params;
}

const int kDepths[] = {CV_8U, CV_8S, CV_16U, CV_16S, CV_32S, CV_32F, CV_64F};

// A noise frame of any type and size; now and then flat, and now and then a view into a larger
// matrix, so that rows lie apart.
cv::Mat consumeFrame(FuzzedDataProvider& in) {
    const int depth = kDepths[in.ConsumeIntegralInRange<size_t>(0, std::size(kDepths) - 1)];
    const int channels = in.ConsumeIntegralInRange(1, 4);
    const int rows = in.ConsumeIntegralInRange(0, kMaxSide);
    const int cols = in.ConsumeIntegralInRange(0, kMaxSide);
    const bool view = in.ConsumeBool();
    const bool flat = in.ConsumeIntegralInRange(0, 7) == 0;
    cv::RNG rng(in.ConsumeIntegral<uint64_t>());
    cv::Mat whole(rows + (view ? 3 : 0), cols + (view ? 5 : 0), CV_MAKETYPE(depth, channels));
    if (whole.empty()) {
        return whole;
    }
    if (flat) {
        whole.setTo(cv::Scalar::all(rng.uniform(0, 255)));
    } else {
        rng.fill(whole, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(255));
    }
    return view ? whole(cv::Rect(2, 1, cols, rows)) : whole;
}

// The same frame moved by a few pixels, wrapping round: a target to find again.
cv::Mat shifted(const cv::Mat& frame, int dx, int dy) {
    if (frame.empty()) {
        return frame;
    }
    cv::Mat moved(frame.size(), frame.type());
    for (int y = 0; y < frame.rows; ++y) {
        const int from = ((y - dy) % frame.rows + frame.rows) % frame.rows;
        for (int x = 0; x < frame.cols; ++x) {
            const int fromX = ((x - dx) % frame.cols + frame.cols) % frame.cols;
            std::memcpy(moved.ptr(y, x), frame.ptr(from, fromX), frame.elemSize());
        }
    }
    return moved;
}

void checkFound(const cv::Rect& box, const cv::Mat& frame) {
    if (!wyr::zok::liesInside(box, frame.size())) {
        fail("update found a box outside the frame", box, frame);
    }
}

void checkFoundOffset(const cv::Point& offset, const cv::Mat& frame) {
    const cv::Point centre = wyr::zok::imageCentre(frame.size()) + offset;
    // The centre pixel of a box inside the frame; of an empty one, a corner of the frame.
    if (centre.x < 0 || centre.y < 0 || centre.x > frame.cols || centre.y > frame.rows) {
        fail("updateOffset found a centre outside the frame", cv::Rect(centre, cv::Size()), frame);
    }
}

TrackerDcf::Params consumeDcfParams(FuzzedDataProvider& in) {
    TrackerDcf::Params p;
    p.padding = consumeFloat(in, -1.0f, 10.0f);
    p.gridCells = in.ConsumeBool() ? in.ConsumeIntegralInRange(-4, 40) : consumeCoordinate(in);
    p.labelSigma = consumeFloat(in, -0.1f, 1.0f);
    p.learningRate = consumeFloat(in, -0.5f, 1.5f);
    p.admmIterations = in.ConsumeIntegralInRange(-2, 12);
    p.colour = in.ConsumeBool();
    p.colourWeight = consumeFloat(in, -0.5f, 1.5f);
    p.colourLearningRate = consumeFloat(in, -0.5f, 1.5f);
    p.scaleFilter = in.ConsumeBool();
    p.scales = in.ConsumeIntegralInRange(-2, 40);
    p.scaleStep = consumeFloat(in, 0.5f, 1.5f);
    p.scaleLearningRate = consumeFloat(in, -0.5f, 1.5f);
    p.motionPrediction = in.ConsumeBool();
    p.motionDamping = consumeFloat(in, -0.5f, 1.5f);
    p.redetection = in.ConsumeBool();
    p.lostConfidence = consumeFloat(in, -1.0f, 2.0f);
    p.learnConfidence = consumeFloat(in, -1.0f, 2.0f);
    p.redetectConfidence = consumeFloat(in, -1.0f, 2.0f);
    p.redetectFrames = in.ConsumeIntegralInRange(-1, 12);
    return p;
}

// The learned tracker: init and update in any order on any frames; a found box must lie inside
// its frame and the confidence must be a number of 0 or more.
void runDcf(FuzzedDataProvider& in) {
    cv::Ptr<TrackerDcf> tracker;
    try {
        tracker = TrackerDcf::create(consumeDcfParams(in));
    } catch (const cv::Exception&) {
        return; // a build without FFTW
    }
    cv::Mat frame = consumeFrame(in);
    for (int call = 0; call < kMaxCalls && in.remaining_bytes() > 0; ++call) {
        try {
            switch (in.ConsumeIntegralInRange(0, 4)) {
            case 0:
                frame = consumeFrame(in);
                break;
            case 1:
                frame = shifted(frame, in.ConsumeIntegralInRange(-6, 6),
                                in.ConsumeIntegralInRange(-6, 6));
                break;
            case 2:
                tracker->init(frame, consumeBox(in));
                break;
            default: {
                cv::Rect box = consumeBox(in);
                if (tracker->update(frame, box)) {
                    checkFound(box, frame);
                }
                if (!(tracker->confidence() >= 0.0)) {
                    fail("a confidence below 0 or NaN", box, frame);
                }
                break;
            }
            }
        } catch (const cv::Exception&) {
            // A refused call; the tracker must go on working.
        }
    }
}

void run(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
        runDcf(in);
        return;
    }
    const TrackerCorr::Params params = consumeParams(in);
    cv::Ptr<TrackerCorr> tracker;
    try {
        tracker = TrackerCorr::create(params);
    } catch (const cv::Exception&) {
        return; // an engine this build does not have
    }
    const auto director = FlightDirector::create(
        tracker, in.ConsumeBool() ? FlightDirector::TRACKER_CORR : FlightDirector::TRACKER_OTHER);
    cv::Mat frame = consumeFrame(in);
    for (int call = 0; call < kMaxCalls && in.remaining_bytes() > 0; ++call) {
        try {
            switch (in.ConsumeIntegralInRange(0, 9)) {
            case 0:
                frame = consumeFrame(in);
                break;
            case 1:
                frame = shifted(frame, in.ConsumeIntegralInRange(-6, 6),
                                in.ConsumeIntegralInRange(-6, 6));
                break;
            case 2:
                tracker->init(frame, consumeBox(in));
                break;
            case 3:
                director->init(frame, consumeBox(in));
                break;
            case 4: {
                const cv::Point offset(consumeCoordinate(in), consumeCoordinate(in));
                director->initAtOffset(frame, offset, consumeCoordinate(in), consumeCoordinate(in));
                break;
            }
            case 5:
            case 6: {
                cv::Rect box = consumeBox(in);
                const bool found =
                    in.ConsumeBool() ? tracker->update(frame, box) : director->update(frame, box);
                if (found) {
                    checkFound(box, frame);
                }
                break;
            }
            case 7: {
                cv::Point offset(consumeCoordinate(in), consumeCoordinate(in));
                if (director->updateOffset(frame, offset)) {
                    checkFoundOffset(offset, frame);
                }
                break;
            }
            case 8:
                if (tracker->matches().size() > params.altSearchRadiiFactors.size() + 1) {
                    fail("more scores than searches", cv::Rect(), frame);
                }
                director->matchScore(in.ConsumeIntegralInRange<size_t>(0, 5));
                break;
            case 9:
                tracker->variance();
                break;
            }
        } catch (const cv::Exception&) {
            // A refused call; the tracker must go on working.
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // OpenCV's own threads would only make the runs slower and harder to reproduce.
    cv::setNumThreads(0);
    cv::redirectError([](int, const char*, const char*, const char*, int, void*) { return 0; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    run(in);
    return 0;
}
