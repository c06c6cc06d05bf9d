#pragma once

// The readers of each layout, behind readDataset().
#include <string>
#include <vector>

#include "accuracy/dataset/sequence.hpp"

namespace wyr::zok::accuracy {

// Whether `dir` holds sequences in each layout (cheap checks of its first level or two).
bool looksSimple(const std::string& dir);
bool looksOtb(const std::string& dir);
bool looksUav(const std::string& dir);
bool looksLasot(const std::string& dir);
bool looksGot10k(const std::string& dir);

// Each appends what it reads under `dir` to `scan`.
void readSimple(const std::string& dir, DatasetScan& scan);
void readOtb(const std::string& dir, DatasetScan& scan);
void readUav(const std::string& dir, DatasetScan& scan);
void readLasot(const std::string& dir, DatasetScan& scan);
void readGot10k(const std::string& dir, DatasetScan& scan);

// Fills seq.truth and seq.absent from one box per frame (NaN rows count as absent, as do the
// frames flagged in `absent`, which is empty or one flag per frame). Returns "" or a message
// naming `annotation` when no frame is annotated, so the sequence cannot start.
std::string setTruth(RealSequence& seq, std::vector<cv::Rect2d> boxes,
                     const std::vector<bool>& absent, const std::string& annotation);

// A frame range of a sequence that a dataset cuts out of a longer recording.
struct SplitRange {
    const char* name;   // the sequence, e.g. "bird1_2"
    const char* folder; // its images' folder, e.g. "bird1"
    int first, last;    // frame numbers, inclusive
};

// The split sequences of a UAV123 subset ("UAV123", "UAV123_10fps"); null when it has none.
const SplitRange* findSplit(const std::string& subset, const std::string& name);

} // namespace wyr::zok::accuracy
