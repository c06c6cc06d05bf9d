#include "accuracy/gimbal_run.hpp"

#include <cmath>
#include <limits>
#include <memory>

namespace wyr::zok::accuracy {
namespace {

// A table row's tracker as a cv::Tracker, so that it runs through FlightDirector as a drone's
// tracker would.
class RowTracker : public cv::Tracker {
public:
    explicit RowTracker(std::unique_ptr<BenchTracker> tracker) : tracker_(std::move(tracker)) {}
    void init(cv::InputArray image, const cv::Rect& box) override {
        tracker_->init(image.getMat(), box);
    }
    bool update(cv::InputArray image, cv::Rect& box) override {
        cv::Rect2d found;
        if (!tracker_->update(image.getMat(), found)) {
            return false;
        }
        box = cv::Rect(int(std::lround(found.x)), int(std::lround(found.y)),
                       int(std::lround(found.width)), int(std::lround(found.height)));
        return true;
    }

private:
    std::unique_ptr<BenchTracker> tracker_;
};

} // namespace

double frameRateOf(const RealSequence& seq) {
    if (seq.frameRate > 0) {
        return seq.frameRate;
    }
    return seq.dataset == "UAV123_10fps" ? 10.0 : 30.0;
}

SequenceRun runClosedLoopSequence(const RealSequence& seq, const std::vector<TrackerRow>& rows,
                                  const ClosedLoopSettings& settings,
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
    ClosedLoopSettings s = settings;
    s.camera.frame = first.size();
    if (s.camera.view.width > first.cols || s.camera.view.height > first.rows) {
        run.problem = seq.frames[run.start] + ": the frame is smaller than the view";
        return run;
    }
    const double dt = 1.0 / frameRateOf(seq);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<std::unique_ptr<ClosedLoop>> loops(rows.size());
    run.traces.resize(rows.size());
    for (size_t t = 0; t < rows.size(); ++t) {
        TrackerTrace& trace = run.traces[t];
        trace.boxes.assign(n, cv::Rect2d(nan, nan, nan, nan));
        trace.found.assign(n, 0);
        if (!rows[t].unavailable.empty()) {
            continue;
        }
        try {
            loops[t] = std::make_unique<ClosedLoop>(
                cv::Ptr<cv::Tracker>(std::make_shared<RowTracker>(rows[t].make())), s, dt);
            trace.boxes[run.start] = loops[t]->start(first, seq.truth[run.start]);
            trace.found[run.start] = 1;
        } catch (const std::exception& e) {
            trace.failure = e.what();
            loops[t].reset();
        }
    }
    progress(1);

    for (size_t k = run.start + 1; k < n; ++k) {
        const cv::Mat frame = readFrame(seq, k, first.size(), run.problem);
        if (frame.empty()) {
            run.traces.clear();
            return run;
        }
        for (size_t t = 0; t < rows.size(); ++t) {
            if (!loops[t]) {
                continue;
            }
            const ClosedLoop::Step step = loops[t]->step(frame);
            run.traces[t].boxes[k] = step.view;
            run.traces[t].found[k] = step.found;
            run.traces[t].errors += step.raised;
        }
        progress(k - run.start + 1);
    }
    return run;
}

} // namespace wyr::zok::accuracy
