#include "accuracy/real_run.hpp"

#include <time.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

namespace wyr::zok::accuracy {
namespace {

// The start box as the trackers take it: whole pixels, inside the frame.
cv::Rect startBox(const cv::Rect2d& truth, cv::Size frame) {
    const cv::Rect r(int(std::lround(truth.x)), int(std::lround(truth.y)),
                     int(std::lround(truth.width)), int(std::lround(truth.height)));
    return r & cv::Rect(cv::Point(), frame);
}

// CPU time of the calling thread, which does all of an update's work with OpenCV on one
// thread: unlike the wall clock it does not count the time other processes hold the core, so
// that runs on a shared machine stay comparable.
double threadMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

} // namespace

std::vector<bool> scoredFrames(const RealSequence& seq, const SequenceRun& run) {
    std::vector<bool> scored(seq.frames.size(), false);
    for (size_t k = run.start + 1; k < scored.size(); ++k) {
        scored[k] = annotated(seq, k);
    }
    return scored;
}

SequenceRun runSequence(const RealSequence& seq, const std::vector<TrackerRow>& rows,
                        const std::function<void(size_t)>& progress) {
    SequenceRun run;
    const size_t n = seq.frames.size();
    while (run.start < n && !annotated(seq, run.start)) {
        ++run.start;
    }
    if (run.start == n) {
        run.problem = seq.name + ": no frame has a box to start from";
        return run;
    }
    const cv::Mat first = readFrame(seq, run.start, {}, run.problem);
    if (first.empty()) {
        return run;
    }
    run.frameSize = first.size();
    const cv::Rect start = startBox(seq.truth[run.start] + seq.startShift, first.size());
    if (start.width < 1 || start.height < 1) {
        run.problem = seq.frames[run.start] + ": the first box lies outside the frame";
        return run;
    }

    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<std::unique_ptr<BenchTracker>> trackers(rows.size());
    std::vector<cv::Rect2d> last(rows.size(), cv::Rect2d(start));
    run.traces.resize(rows.size());
    for (size_t t = 0; t < rows.size(); ++t) {
        TrackerTrace& trace = run.traces[t];
        trace.boxes.assign(n, cv::Rect2d(nan, nan, nan, nan));
        trace.found.assign(n, 0);
        trace.boxes[run.start] = start;
        trace.found[run.start] = 1;
        if (!rows[t].unavailable.empty()) {
            continue;
        }
        const cv::Size smallest = rows[t].smallestBox;
        if (start.width < smallest.width || start.height < smallest.height) {
            trace.failure = "a start box of " + std::to_string(start.width) + " x " +
                            std::to_string(start.height) + " pixels, below the " +
                            std::to_string(smallest.width) + " x " +
                            std::to_string(smallest.height) + " it is given";
            continue;
        }
        try {
            trackers[t] = rows[t].make();
            trackers[t]->init(first, start);
        } catch (const std::exception& e) {
            trace.failure = e.what();
            trackers[t].reset();
        }
    }
    progress(1);

    for (size_t k = run.start + 1; k < n; ++k) {
        // Decoded before any clock starts.
        const cv::Mat frame = readFrame(seq, k, first.size(), run.problem);
        if (frame.empty()) {
            run.traces.clear();
            return run;
        }
        for (size_t t = 0; t < rows.size(); ++t) {
            TrackerTrace& trace = run.traces[t];
            if (!trackers[t]) {
                trace.boxes[k] = last[t];
                continue;
            }
            cv::Rect2d box = last[t];
            bool found = false;
            const double begin = threadMilliseconds();
            try {
                found = trackers[t]->update(frame, box);
            } catch (const std::exception&) {
                ++trace.errors;
            }
            trace.ms.push_back(float(threadMilliseconds() - begin));
            trace.area.push_back(float(last[t].area()));
            if (found) {
                last[t] = box;
            }
            trace.boxes[k] = last[t];
            trace.found[k] = found;
        }
        progress(k - run.start + 1);
    }
    return run;
}

namespace {

template <class T>
bool put(std::FILE* f, const std::vector<T>& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    const uint64_t size = v.size();
    return std::fwrite(&size, sizeof size, 1, f) == 1 &&
           (v.empty() || std::fwrite(v.data(), sizeof(T), v.size(), f) == v.size());
}

template <class T>
bool get(std::FILE* f, std::vector<T>& v) {
    uint64_t size = 0;
    if (std::fread(&size, sizeof size, 1, f) != 1 || size > (uint64_t(1) << 32)) {
        return false;
    }
    v.resize(size);
    return v.empty() || std::fread(v.data(), sizeof(T), v.size(), f) == v.size();
}

bool putText(std::FILE* f, const std::string& s) {
    return put(f, std::vector<char>(s.begin(), s.end()));
}

bool getText(std::FILE* f, std::string& s) {
    std::vector<char> v;
    if (!get(f, v)) {
        return false;
    }
    s.assign(v.begin(), v.end());
    return true;
}

} // namespace

bool writeRun(std::FILE* f, const SequenceRun& run) {
    const uint64_t header[4] = {run.start, run.traces.size(), uint64_t(run.frameSize.width),
                                uint64_t(run.frameSize.height)};
    bool ok = putText(f, run.problem) && std::fwrite(header, sizeof header, 1, f) == 1;
    for (const TrackerTrace& t : run.traces) {
        const int64_t errors = t.errors;
        ok = ok && put(f, t.boxes) && put(f, t.found) && put(f, t.ms) && put(f, t.area) &&
             std::fwrite(&errors, sizeof errors, 1, f) == 1 && putText(f, t.failure);
    }
    return ok;
}

bool readRun(std::FILE* f, SequenceRun& run) {
    uint64_t header[4] = {0, 0, 0, 0};
    if (!getText(f, run.problem) || std::fread(header, sizeof header, 1, f) != 1 ||
        header[1] > 4096 || header[2] > uint64_t(INT_MAX) || header[3] > uint64_t(INT_MAX)) {
        return false;
    }
    run.start = size_t(header[0]);
    run.frameSize = cv::Size(int(header[2]), int(header[3]));
    run.traces.resize(size_t(header[1]));
    for (TrackerTrace& t : run.traces) {
        int64_t errors = 0;
        if (!get(f, t.boxes) || !get(f, t.found) || !get(f, t.ms) || !get(f, t.area) ||
            std::fread(&errors, sizeof errors, 1, f) != 1 || !getText(f, t.failure)) {
            return false;
        }
        t.errors = int(errors);
    }
    return true;
}

} // namespace wyr::zok::accuracy
