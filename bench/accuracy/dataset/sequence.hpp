#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok::accuracy {

// One annotated sequence of real footage, as read from a dataset's own layout.
struct RealSequence {
    std::string name;                // unique within the dataset, e.g. "Jogging-1"
    std::string dataset;             // the benchmark it comes from, for the per-dataset table
    std::vector<std::string> frames; // image paths, in playing order
    // One box per frame, 0-based top-left corner, in pixels. All four fields are NaN where the
    // frame is not annotated or the dataset marks the target absent.
    std::vector<cv::Rect2d> truth;
    // Frames in which the dataset marks the target absent (out of view, fully occluded, or a
    // NaN row): the honesty of a tracker's found flag is judged on them.
    std::vector<bool> absent;
    std::vector<std::string> attributes; // the dataset's labels, e.g. "OCC"; may be empty
    double frameRate = 0.0;              // frames a second where the dataset states it, else 0
    // Pixels the box the trackers start from is moved by, against the first annotated one
    // (accuracy/dataset/shifted_starts.hpp); the truth scored never moves.
    cv::Point2d startShift;
};

// Whether frame k carries a box that overlap is scored against.
inline bool annotated(const RealSequence& seq, size_t k) {
    const cv::Rect2d& t = seq.truth[k];
    return !seq.absent[k] && t.width > 0 && t.height > 0;
}

// The layouts the readers understand.
enum class Format { AUTO, SIMPLE, OTB, UAV, LASOT, GOT10K };

// "auto", "simple", "otb", "uav", "lasot", "got10k"; false for any other name.
bool parseFormat(const std::string& name, Format& format);
const char* formatName(Format format);

// What a dataset folder yielded: the sequences that read cleanly, in name order, and one
// message per sequence that was left out ("<file>:<line>: <what>" or "<file>: <what>").
struct DatasetScan {
    Format format = Format::AUTO; // the layout read (detected when AUTO was asked)
    std::vector<RealSequence> sequences;
    std::vector<std::string> problems;
};

// Finds and reads the sequences under `dir`, in `format` or, with Format::AUTO, in the first
// layout that `dir` looks like. A folder with no sequence at all gives one problem and none.
DatasetScan readDataset(const std::string& dir, Format format);

// Decodes frame k as 8-bit BGR. Returns an empty Mat and sets `problem` when the file cannot
// be decoded or its size differs from `size` (unless `size` is empty).
cv::Mat readFrame(const RealSequence& seq, size_t k, cv::Size size, std::string& problem);

} // namespace wyr::zok::accuracy
