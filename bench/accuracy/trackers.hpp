#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok::accuracy {

// A tracker as the benchmark drives it: every row of the tables, ours or a peer, behind one
// face, so that the runner times and scores them all alike.
class BenchTracker {
public:
    virtual ~BenchTracker() = default;
    // `frame` is 8-bit BGR; `box` lies inside it.
    virtual void init(const cv::Mat& frame, const cv::Rect& box) = 0;
    // Returns whether the target was found, and then its box in `box`.
    virtual bool update(const cv::Mat& frame, cv::Rect2d& box) = 0;
};

using TrackerFactory = std::function<std::unique_ptr<BenchTracker>()>;

// One row of the tables.
struct TrackerRow {
    std::string id;   // what --trackers names it by
    std::string name; // what the tables call it
    TrackerFactory make;
    bool hasFlag = true;     // false for a tracker that never reports the target lost
    std::string unavailable; // why the row cannot run in this build, when it cannot
    // The smallest start box the tracker is given: on a sequence that starts smaller it is not
    // started at all, as where its init() raised, for a tracker whose init() never returns on
    // such boxes.
    cv::Size smallestBox{1, 1};
};

// The standard rows, in table order: zok's recommended configuration (read from
// `recommendedPath`) on both engines, its library defaults on the default (OpenCV) engine and on
// the FFT engine, zok's learned tracker where it is built, then
// OpenCV's CSRT, KCF, MIL, MedianFlow and MOSSE, and dlib's correlation tracker where found.
// Returns "" or a message when the configuration cannot be loaded.
std::string standardRows(const std::string& recommendedPath, std::vector<TrackerRow>& rows);

// Adds the row of `variant`, "NAME=config.json" (zok's correlation tracker with that file's
// "TrackerCorr" section) or "dcf:NAME=config.json" (the learned tracker with the file's
// "TrackerDcf" section); the row's id and name are NAME. Returns "" or a message.
std::string addVariant(const std::string& variant, std::vector<TrackerRow>& rows);

// Keeps the rows whose ids `list` names (comma-separated, in the rows' order; "all" keeps every
// row), and every row from `keepFrom` on whatever the list says (the variants, each asked for
// by a --variant of its own). Returns "" or a message naming an unknown id and the known ones.
std::string selectRows(const std::string& list, std::vector<TrackerRow>& rows,
                       size_t keepFrom = SIZE_MAX);

// Marks each row that this build cannot run (a create() raising StsNotImplemented).
void probeRows(std::vector<TrackerRow>& rows);

} // namespace wyr::zok::accuracy
