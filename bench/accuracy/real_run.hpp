#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "accuracy/dataset/sequence.hpp"
#include "accuracy/trackers.hpp"

namespace wyr::zok::accuracy {

// What one tracker did on one sequence.
struct TrackerTrace {
    // One box a frame: the start box on the start frame, NaN before it; after a lost update,
    // the last box found.
    std::vector<cv::Rect2d> boxes;
    std::vector<uint8_t> found; // one flag a frame, 1 on the start frame
    std::vector<float> ms;      // one time an update, in milliseconds
    std::vector<float> area;    // per update: pixels of the box the tracker went in with
    int errors = 0;             // updates that raised an error, counted as lost
    std::string failure;        // why init() raised, when it did (the start box stays)
};

// One sequence through every row. A sequence with a problem was left out.
struct SequenceRun {
    std::string problem;
    size_t start = 0;                 // the first annotated frame, where every tracker starts
    cv::Size frameSize;               // of the sequence's frames
    std::vector<TrackerTrace> traces; // one a row
};

// The frames a run is scored on: annotated ones after the start frame, whose box the trackers
// were given.
std::vector<bool> scoredFrames(const RealSequence& seq, const SequenceRun& run);

// Runs every available row over `seq`: one pass from the first annotated box, each frame
// decoded once and then fed to every tracker in turn, only the update itself timed.
// `progress` is called with the count of frames done so far.
SequenceRun runSequence(const RealSequence& seq, const std::vector<TrackerRow>& rows,
                        const std::function<void(size_t)>& progress);

// A run in a file, for the worker processes; readRun returns false on a short or bad file.
bool writeRun(std::FILE* f, const SequenceRun& run);
bool readRun(std::FILE* f, SequenceRun& run);

} // namespace wyr::zok::accuracy
