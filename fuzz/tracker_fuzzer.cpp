// Drives the correlation tracker or the learned tracker, bare and through the flight director,
// with parameters, frames (every depth, 1 to 4 channels, any size up to 64 x 64, views into
// larger matrices, NaN and infinite pixels in float frames), boxes and call sequences taken from
// the input. Only cv::Exception may leave a call. A box (or an offset) the correlation tracker
// reports with true must lie inside the frame it was found in; its init() must take every box
// inside the frame while the variance filter is off, and its updates every 8-bit or float frame
// of the type of all the frames it was started on. Every box the learned tracker writes must be
// non-empty and inside it, and its confidence a number, 0 or more; and a frame it refuses while
// it searches for a lost target leaves it as a twin that never saw the frame.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include <opencv2/core.hpp>

#include "config/tracker_dcf_fields.hpp"
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

[[noreturn]] void fail(const char* what, const cv::Rect& box, const cv::Mat& frame,
                       const char* detail = "") {
    std::fprintf(stderr, "%s: box (%d, %d, %d, %d) in a %d x %d frame%s%s\n", what, box.x, box.y,
                 box.width, box.height, frame.cols, frame.rows, *detail ? ": " : "", detail);
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

// Every field of the learned tracker's parameters: mostly values near their working range,
// now and then NaN, an infinity or an extreme of int.
TrackerDcf::Params consumeDcfParams(FuzzedDataProvider& in) {
    struct Consumer {
        FuzzedDataProvider& in;
        void number(const char*, float& field) { field = consumeFloat(in, -2.0f, 2.0f * field); }
        void number(const char*, double& field) { field = consumeFloat(in, -2.0f, 2.0f * field); }
        void flag(const char*, bool& field) { field = in.ConsumeBool(); }
        void integer(const char*, int& field) {
            field = in.ConsumeIntegralInRange(0, 7) == 0 ? consumeCoordinate(in)
                                                         : in.ConsumeIntegralInRange(-2, 2 * field);
        }
        void count(const char*, size_t& field) {
            field = in.ConsumeIntegralInRange<size_t>(0, 2 * field);
        }
    };
    TrackerDcf::Params params;
    wyr::zok::visitDcfFields(params, Consumer{in});
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
    // Now and then a float frame with values no camera gives, here and there.
    if (whole.depth() >= CV_32F && in.ConsumeIntegralInRange(0, 3) == 0) {
        static const double kOdd[] = {std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(), 1e30};
        const double odd = kOdd[in.ConsumeIntegralInRange<size_t>(0, std::size(kOdd) - 1)];
        for (int k = in.ConsumeIntegralInRange(1, 8); k > 0; --k) {
            const int y = rng.uniform(0, whole.rows);
            const int x = rng.uniform(0, whole.cols * whole.channels());
            if (whole.depth() == CV_32F) {
                whole.ptr<float>(y)[x] = float(odd);
            } else {
                whole.ptr<double>(y)[x] = odd;
            }
        }
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

// Found or lost, the learned tracker writes its box cut to the frame, never empty.
void checkDcfBox(const cv::Rect& box, const cv::Mat& frame, double confidence) {
    if (box.empty() || !wyr::zok::liesInside(box, frame.size())) {
        fail("the learned tracker wrote a box outside the frame, or an empty one", box, frame);
    }
    if (!(confidence >= 0.0) || !std::isfinite(confidence)) {
        fail("the learned tracker gave a confidence that is no number, or below 0", box, frame);
    }
}

// What the correlation tracker was started on: the types of the non-empty frames of every init
// that succeeded. An update of a frame of that one type has nothing to refuse, when the type is
// one cv::matchTemplate takes (8-bit or float; frames of other depths are refused at update).
class StartedTypes {
public:
    void record(const cv::Mat& frame) {
        if (frame.empty()) {
            return;
        }
        mixed_ = mixed_ || (type_ >= 0 && type_ != frame.type());
        type_ = frame.type();
    }

    bool mustTake(const cv::Mat& frame) const {
        const bool correlated = CV_MAT_DEPTH(type_) == CV_8U || CV_MAT_DEPTH(type_) == CV_32F;
        return !mixed_ && (type_ < 0 || frame.empty() || (frame.type() == type_ && correlated));
    }

private:
    int type_ = -1;
    bool mixed_ = false;
};

void runCorr(FuzzedDataProvider& in) {
    const TrackerCorr::Params params = consumeParams(in);
    // Without the texture measure nothing but the box's place can make init() refuse.
    const bool initTakesInsideBoxes = !(params.varianceFilter.threshold > 0);
    StartedTypes started;
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
            case 2: {
                const cv::Rect box = consumeBox(in);
                try {
                    tracker->init(frame, box);
                } catch (const cv::Exception& e) {
                    if (initTakesInsideBoxes && wyr::zok::liesInside(box, frame.size())) {
                        fail("init refused a box inside the frame", box, frame, e.what());
                    }
                    throw;
                }
                started.record(frame);
                break;
            }
            case 3:
                director->init(frame, consumeBox(in));
                started.record(frame);
                break;
            case 4: {
                const cv::Point offset(consumeCoordinate(in), consumeCoordinate(in));
                director->initAtOffset(frame, offset, consumeCoordinate(in), consumeCoordinate(in));
                started.record(frame);
                break;
            }
            case 5:
            case 6: {
                cv::Rect box = consumeBox(in);
                const bool bare = in.ConsumeBool();
                bool found = false;
                try {
                    found = bare ? tracker->update(frame, box) : director->update(frame, box);
                } catch (const cv::Exception& e) {
                    if (started.mustTake(frame)) {
                        fail("update refused a frame of the type it was started on", box, frame,
                             e.what());
                    }
                    throw;
                }
                if (found) {
                    checkFound(box, frame);
                }
                break;
            }
            case 7: {
                cv::Point offset(consumeCoordinate(in), consumeCoordinate(in));
                bool found = false;
                try {
                    found = director->updateOffset(frame, offset);
                } catch (const cv::Exception& e) {
                    if (started.mustTake(frame)) {
                        fail("updateOffset refused a frame of the type it was started on",
                             cv::Rect(offset, cv::Size()), frame, e.what());
                    }
                    throw;
                }
                if (found) {
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

void runDcf(FuzzedDataProvider& in) {
    cv::Ptr<TrackerDcf> tracker;
    try {
        tracker = TrackerDcf::create(consumeDcfParams(in));
    } catch (const cv::Exception&) {
        return; // a build without FFTW
    }
    const auto director = FlightDirector::create(
        tracker, in.ConsumeBool() ? FlightDirector::TRACKER_CORR : FlightDirector::TRACKER_OTHER);
    cv::Mat frame = consumeFrame(in);
    for (int call = 0; call < kMaxCalls && in.remaining_bytes() > 0; ++call) {
        try {
            switch (in.ConsumeIntegralInRange(0, 7)) {
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
            case 3: {
                const cv::Point offset(consumeCoordinate(in), consumeCoordinate(in));
                director->initAtOffset(frame, offset, consumeCoordinate(in), consumeCoordinate(in));
                break;
            }
            case 4:
            case 5: {
                cv::Rect box = consumeBox(in);
                if (in.ConsumeBool()) {
                    tracker->update(frame, box);
                } else {
                    director->update(frame, box);
                }
                checkDcfBox(box, frame, tracker->confidence());
                break;
            }
            case 6: {
                cv::Point offset(consumeCoordinate(in), consumeCoordinate(in));
                director->updateOffset(frame, offset);
                break;
            }
            case 7:
                if (director->matchScore(in.ConsumeIntegralInRange<size_t>(0, 5)) != 0.0) {
                    fail("a score for a tracker without scores", cv::Rect(), frame);
                }
                break;
            }
        } catch (const cv::Exception&) {
            // A refused call; the tracker must go on working.
        }
    }
}

// One update of both trackers, which must agree exactly: the twin never saw a refused frame.
void updateBoth(TrackerDcf& tracker, TrackerDcf& twin, const cv::Mat& frame) {
    cv::Rect box, twinBox;
    bool found = false, twinFound = false;
    bool refused = false, twinRefused = false;
    try {
        found = tracker.update(frame, box);
    } catch (const cv::Exception&) {
        refused = true;
    }
    try {
        twinFound = twin.update(frame, twinBox);
    } catch (const cv::Exception&) {
        twinRefused = true;
    }
    if (refused != twinRefused || (!refused && (found != twinFound || box != twinBox ||
                                                tracker.confidence() != twin.confidence()))) {
        fail("a refused frame changed the learned tracker", box, frame);
    }
    if (!refused) {
        checkDcfBox(box, frame, tracker.confidence());
    }
}

// The learned tracker made to lose its target and search for it (re-detection), then given a
// float frame with NaN or infinite pixels here and there, which it may refuse: a refused frame
// must leave it exactly as a twin that never saw it.
void runDcfLost(FuzzedDataProvider& in) {
    TrackerDcf::Params params = consumeDcfParams(in);
    // Two trackers and many searches a frame: a small grid keeps a run within the time limit.
    params.gridCells = std::min(params.gridCells, 24);
    cv::Ptr<TrackerDcf> tracker, twin;
    try {
        tracker = TrackerDcf::create(params);
        twin = TrackerDcf::create(params);
    } catch (const cv::Exception&) {
        return;
    }
    cv::Mat target, gone;
    consumeFrame(in).convertTo(target, CV_32F);
    consumeFrame(in).convertTo(gone, CV_32F);
    if (target.empty() || gone.size() != target.size() || gone.type() != target.type()) {
        gone =
            cv::Mat(target.size(), target.type(), cv::Scalar::all(in.ConsumeIntegral<uint8_t>()));
    }
    const cv::Rect box = consumeBox(in);
    try {
        tracker->init(target, box);
        twin->init(target, box);
    } catch (const cv::Exception&) {
        return;
    }
    for (int k = in.ConsumeIntegralInRange(0, 2); k > 0; --k) {
        updateBoth(*tracker, *twin, target);
    }
    for (int k = in.ConsumeIntegralInRange(1, 5); k > 0; --k) {
        updateBoth(*tracker, *twin, gone);
    }
    // The refused frame goes to the tracker alone.
    cv::Mat poisoned = gone.clone();
    static const float kOdd[] = {std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::max()};
    for (int k = in.ConsumeIntegralInRange(1, 16); k > 0; --k) {
        const int y = in.ConsumeIntegralInRange(0, poisoned.rows - 1);
        const int x = in.ConsumeIntegralInRange(0, poisoned.cols * poisoned.channels() - 1);
        poisoned.ptr<float>(y)[x] = kOdd[in.ConsumeIntegralInRange<size_t>(0, 2)];
    }
    cv::Rect refusedBox;
    try {
        tracker->update(poisoned, refusedBox);
        // Taken: the twin takes it too.
        twin->update(poisoned, refusedBox);
    } catch (const cv::Exception&) {
    }
    for (int k = in.ConsumeIntegralInRange(1, 4); k > 0; --k) {
        updateBoth(*tracker, *twin, in.ConsumeBool() ? target : gone);
    }
}

void run(FuzzedDataProvider& in) {
    // One byte picks the run: its low bit the tracker, and 0xFF, which no older seed gives,
    // the learned tracker lost and refusing a frame.
    const uint8_t mode = in.ConsumeIntegral<uint8_t>();
    if (mode == 0xFF) {
        runDcfLost(in);
    } else if (mode & 1) {
        runDcf(in);
    } else {
        runCorr(in);
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
