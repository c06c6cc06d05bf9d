#include "accuracy/trackers.hpp"

#include <algorithm>

#include <opencv2/tracking.hpp>
#include <opencv2/tracking/tracking_legacy.hpp>
#include <opencv2/video/tracking.hpp>

#if ZOK_BENCH_WITH_DLIB
#include <dlib/image_processing.h>
#include <dlib/opencv.h>
#endif

#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"
#include "zok/zok_config.hpp"

namespace wyr::zok::accuracy {
namespace {

// Every cv::Tracker: ours and OpenCV's. A tracker that draws random samples (MIL) takes them
// from OpenCV's per-thread generator; each tracker here has a generator of its own, swapped in
// for its calls, so that its results do not depend on which other rows run beside it.
class CvTracker : public BenchTracker {
public:
    explicit CvTracker(cv::Ptr<cv::Tracker> tracker) : tracker_(std::move(tracker)) {}
    void init(const cv::Mat& frame, const cv::Rect& box) override {
        const OwnGenerator own(rng_);
        tracker_->init(frame, box);
    }
    bool update(const cv::Mat& frame, cv::Rect2d& box) override {
        const OwnGenerator own(rng_);
        cv::Rect r;
        const bool found = tracker_->update(frame, r);
        box = r;
        return found;
    }

private:
    class OwnGenerator {
    public:
        explicit OwnGenerator(cv::RNG& own) : own_(own), saved_(cv::theRNG()) {
            cv::theRNG() = own_;
        }
        ~OwnGenerator() {
            own_ = cv::theRNG();
            cv::theRNG() = saved_;
        }

    private:
        cv::RNG& own_;
        cv::RNG saved_;
    };

    cv::Ptr<cv::Tracker> tracker_;
    cv::RNG rng_; // OpenCV's default seed, afresh for every sequence
};

TrackerRow row(std::string id, std::string name, TrackerFactory make, bool hasFlag = true,
               std::string unavailable = "") {
    return {std::move(id), std::move(name), std::move(make), hasFlag, std::move(unavailable)};
}

template <class Create>
TrackerFactory cvFactory(Create create) {
    return [create] { return std::make_unique<CvTracker>(create()); };
}

#if ZOK_BENCH_WITH_DLIB
// dlib's scale-adaptive correlation tracker. It has no found flag: its update returns a peak
// to side-lobe ratio with no threshold of its own, so every update counts as found.
class DlibTracker : public BenchTracker {
public:
    void init(const cv::Mat& frame, const cv::Rect& box) override {
        // dlib's rectangles include their right and bottom edges.
        tracker_.start_track(
            dlib::cv_image<dlib::bgr_pixel>(frame),
            dlib::drectangle(box.x, box.y, box.x + box.width - 1, box.y + box.height - 1));
    }
    bool update(const cv::Mat& frame, cv::Rect2d& box) override {
        tracker_.update(dlib::cv_image<dlib::bgr_pixel>(frame));
        const dlib::drectangle r = tracker_.get_position();
        box = cv::Rect2d(r.left(), r.top(), r.width(), r.height());
        return true;
    }

private:
    dlib::correlation_tracker tracker_;
};
#endif

std::string loadCorr(const std::string& path, TrackerCorr::Params& params) {
    ZokConfig config;
    if (!config.LoadFromJson(path.c_str())) {
        return path + ": cannot be loaded as a configuration (see the message above)";
    }
    params = config.trackerCorr;
    return "";
}

// The learned tracker from the configuration's "TrackerDcf" section; none in a build without
// FFTW, which it needs.
TrackerFactory dcfFactory(const ZokConfig& config) {
    if (!ZOK_WITH_FFTW) {
        return nullptr;
    }
    const TrackerDcf::Params params = config.trackerDcf;
    return cvFactory([params] { return TrackerDcf::create(params); });
}

} // namespace

std::string standardRows(const std::string& recommendedPath, std::vector<TrackerRow>& rows) {
    TrackerCorr::Params recommended;
    const std::string problem = loadCorr(recommendedPath, recommended);
    if (!problem.empty()) {
        return problem;
    }
    TrackerCorr::Params opencv = recommended;
    opencv.engine = TrackerCorr::Engine::OPENCV;
    TrackerCorr::Params fft = recommended;
    fft.engine = TrackerCorr::Engine::FFT;
    TrackerCorr::Params defaultsFft;
    defaultsFft.engine = TrackerCorr::Engine::FFT;
    rows = {
        row("zok-fft", "zok, recommended configuration, FFT engine",
            cvFactory([fft] { return TrackerCorr::create(fft); })),
        row("zok-opencv", "zok, recommended configuration, OpenCV engine",
            cvFactory([opencv] { return TrackerCorr::create(opencv); })),
        row("zok-defaults", "zok, library defaults",
            cvFactory([] { return TrackerCorr::create({}); })),
        // The same boxes as the defaults, at the FFT engine's cost.
        row("zok-defaults-fft", "zok, library defaults, FFT engine",
            cvFactory([defaultsFft] { return TrackerCorr::create(defaultsFft); })),
    };
    if (ZOK_WITH_FFTW) {
        rows.push_back(row("zok-dcf", "zok DCF", cvFactory([] { return TrackerDcf::create(); })));
    } else {
        rows.push_back(row("zok-dcf", "zok DCF", nullptr, true, "not in this build"));
    }
    rows.push_back(row("csrt", "OpenCV CSRT", cvFactory([] { return cv::TrackerCSRT::create(); })));
    rows.push_back(row("medianflow", "OpenCV MedianFlow", cvFactory([] {
                           return cv::legacy::upgradeTrackingAPI(
                               cv::legacy::TrackerMedianFlow::create());
                       })));
    // MIL's init() draws random features inside the box until enough of them fit, which on
    // boxes of 4 x 4, 3 x 5 or 1 x 40 pixels never happens: it does not return. Some boxes with
    // a side below 5 pixels pass, but none is known to be safe.
    rows.push_back(row("mil", "OpenCV MIL", cvFactory([] { return cv::TrackerMIL::create(); })));
    rows.back().smallestBox = cv::Size(5, 5);
#if ZOK_BENCH_WITH_DLIB
    rows.push_back(row(
        "dlib", "dlib correlation_tracker", [] { return std::make_unique<DlibTracker>(); }, false));
#else
    rows.push_back(
        row("dlib", "dlib correlation_tracker", nullptr, false, "dlib not found when built"));
#endif
    rows.push_back(row("kcf", "OpenCV KCF", cvFactory([] { return cv::TrackerKCF::create(); })));
    rows.push_back(row("mosse", "OpenCV MOSSE", cvFactory([] {
                           return cv::legacy::upgradeTrackingAPI(
                               cv::legacy::TrackerMOSSE::create());
                       })));
    return "";
}

std::string addVariant(const std::string& variant, std::vector<TrackerRow>& rows) {
    std::string rest = variant;
    bool dcf = false;
    if (rest.compare(0, 4, "dcf:") == 0) {
        dcf = true;
        rest = rest.substr(4);
    } else if (rest.compare(0, 5, "corr:") == 0) {
        rest = rest.substr(5);
    }
    const size_t eq = rest.find('=');
    if (eq == 0 || eq == std::string::npos || eq + 1 == rest.size()) {
        return "--variant " + variant + ": expected [dcf:]NAME=config.json";
    }
    const std::string name = rest.substr(0, eq);
    const std::string path = rest.substr(eq + 1);
    for (const TrackerRow& row : rows) {
        if (row.id == name) {
            return "--variant " + variant + ": a row is already called " + name;
        }
    }
    if (dcf) {
        ZokConfig config;
        if (!config.LoadFromJson(path.c_str())) {
            return path + ": cannot be loaded as a configuration (see the message above)";
        }
        TrackerFactory make = dcfFactory(config);
        if (!make) {
            return "--variant " + variant + ": this build has no learned tracker (it needs FFTW)";
        }
        rows.push_back(row(name, name, make));
        return "";
    }
    TrackerCorr::Params params;
    const std::string problem = loadCorr(path, params);
    if (!problem.empty()) {
        return problem;
    }
    rows.push_back(row(name, name, cvFactory([params] { return TrackerCorr::create(params); })));
    return "";
}

std::string selectRows(const std::string& list, std::vector<TrackerRow>& rows, size_t keepFrom) {
    if (list == "all") {
        return "";
    }
    std::vector<bool> keep(rows.size(), false);
    for (size_t r = keepFrom; r < rows.size(); ++r) {
        keep[r] = true;
    }
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string id = list.substr(start, comma - start);
        bool known = false;
        for (size_t r = 0; r < rows.size(); ++r) {
            if (rows[r].id == id) {
                keep[r] = known = true;
            }
        }
        if (!known) {
            std::string ids;
            for (const TrackerRow& row : rows) {
                ids += (ids.empty() ? "" : ", ") + row.id;
            }
            return "--trackers: no tracker called '" + id + "' (known: " + ids + ")";
        }
        start = comma + 1;
    }
    std::vector<TrackerRow> kept;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (keep[r]) {
            kept.push_back(std::move(rows[r]));
        }
    }
    rows.swap(kept);
    return "";
}

void probeRows(std::vector<TrackerRow>& rows) {
    for (TrackerRow& row : rows) {
        if (!row.unavailable.empty()) {
            continue;
        }
        try {
            row.make();
        } catch (const cv::Exception& e) {
            if (e.code != cv::Error::StsNotImplemented) {
                throw;
            }
            row.unavailable = "not built";
        }
    }
}

} // namespace wyr::zok::accuracy
