// GOT-10k (its validation set, whose every frame is boxed): <seq>/00000001.jpg ... with
// groundtruth.txt (0-based, commas) and absence.label, one 0/1 flag a frame.
#include "accuracy/dataset/annotation.hpp"
#include "accuracy/dataset/frame_list.hpp"
#include "accuracy/dataset/readers.hpp"

namespace wyr::zok::accuracy {
namespace {

bool isGotSequence(const std::string& dir) {
    return isFile(join(dir, "groundtruth.txt")) && !isDirectory(join(dir, "img"));
}

std::string readSequence(const std::string& dir, const std::string& name, RealSequence& seq) {
    seq.name = name;
    seq.dataset = "GOT-10k";
    const std::string gt = join(dir, "groundtruth.txt");
    std::vector<cv::Rect2d> boxes;
    std::string problem = readBoxPerFrame(gt, 0, dir, boxes, seq.frames);
    if (!problem.empty()) {
        return problem;
    }
    std::vector<bool> absent;
    const std::string label = join(dir, "absence.label");
    if (isFile(label)) {
        problem = readFlags(label, absent);
        if (!problem.empty()) {
            return problem;
        }
        if (absent.size() != boxes.size()) {
            return label + ": " + std::to_string(absent.size()) + " flags for " +
                   std::to_string(boxes.size()) + " frames";
        }
    }
    return setTruth(seq, std::move(boxes), absent, gt);
}

} // namespace

bool looksGot10k(const std::string& dir) {
    for (const std::string& sub : subdirectories(dir)) {
        if (isGotSequence(join(dir, sub))) {
            return true;
        }
    }
    return false;
}

void readGot10k(const std::string& dir, DatasetScan& scan) {
    for (const std::string& sub : subdirectories(dir)) {
        const std::string path = join(dir, sub);
        if (!isGotSequence(path)) {
            if (!isDirectory(join(path, "img")) && !listFrames(path).empty()) {
                scan.problems.push_back(join(path, "groundtruth.txt") + ": cannot be opened");
            }
            continue;
        }
        RealSequence seq;
        const std::string problem = readSequence(path, sub, seq);
        if (problem.empty()) {
            scan.sequences.push_back(std::move(seq));
        } else {
            scan.problems.push_back(problem);
        }
    }
}

} // namespace wyr::zok::accuracy
