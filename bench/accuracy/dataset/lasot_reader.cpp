// LaSOT: <class>/<class>-<n>/img/00000001.jpg ... with groundtruth.txt (1-based, commas) and
// one line of comma-separated flags each in full_occlusion.txt and out_of_view.txt. DIR may
// also be one class folder.
#include "accuracy/dataset/annotation.hpp"
#include "accuracy/dataset/frame_list.hpp"
#include "accuracy/dataset/readers.hpp"

namespace wyr::zok::accuracy {
namespace {

bool isLasotSequence(const std::string& dir) {
    return isDirectory(join(dir, "img")) && isFile(join(dir, "groundtruth.txt"));
}

// The sequence folders: DIR/<class>/<seq> or DIR/<seq>.
std::vector<std::pair<std::string, std::string>> sequenceFolders(const std::string& dir) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& sub : subdirectories(dir)) {
        const std::string path = join(dir, sub);
        if (isLasotSequence(path)) {
            found.emplace_back(path, sub);
            continue;
        }
        for (const std::string& seq : subdirectories(path)) {
            if (isDirectory(join(join(path, seq), "img"))) {
                found.emplace_back(join(path, seq), seq);
            }
        }
    }
    return found;
}

// Frames flagged in `file`, when the file is there: the flags must then cover every frame.
std::string addFlags(const std::string& file, size_t frames, std::vector<bool>& absent) {
    if (!isFile(file)) {
        return "";
    }
    std::vector<bool> flags;
    std::string problem = readFlags(file, flags);
    if (!problem.empty()) {
        return problem;
    }
    if (flags.size() != frames) {
        return file + ": " + std::to_string(flags.size()) + " flags for " + std::to_string(frames) +
               " frames";
    }
    for (size_t k = 0; k < frames; ++k) {
        absent[k] = absent[k] || flags[k];
    }
    return "";
}

std::string readSequence(const std::string& dir, const std::string& name, RealSequence& seq) {
    seq.name = name;
    seq.dataset = "LaSOT";
    const std::string gt = join(dir, "groundtruth.txt");
    std::vector<cv::Rect2d> boxes;
    const std::string imgDir = join(dir, "img");
    std::string problem = readBoxPerFrame(gt, 1, imgDir, boxes, seq.frames);
    if (!problem.empty()) {
        return problem;
    }
    std::vector<bool> absent(boxes.size(), false);
    for (const char* file : {"full_occlusion.txt", "out_of_view.txt"}) {
        problem = addFlags(join(dir, file), boxes.size(), absent);
        if (!problem.empty()) {
            return problem;
        }
    }
    return setTruth(seq, std::move(boxes), absent, gt);
}

} // namespace

bool looksLasot(const std::string& dir) {
    for (const auto& [path, name] : sequenceFolders(dir)) {
        if (isLasotSequence(path)) {
            return true;
        }
    }
    return false;
}

void readLasot(const std::string& dir, DatasetScan& scan) {
    for (const auto& [path, name] : sequenceFolders(dir)) {
        if (!isFile(join(path, "groundtruth.txt"))) {
            scan.problems.push_back(join(path, "groundtruth.txt") + ": cannot be opened");
            continue;
        }
        RealSequence seq;
        const std::string problem = readSequence(path, name, seq);
        if (problem.empty()) {
            scan.sequences.push_back(std::move(seq));
        } else {
            scan.problems.push_back(problem);
        }
    }
}

} // namespace wyr::zok::accuracy
