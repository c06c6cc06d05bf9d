// OTB-100 and OTB-2013: <seq>/img/0001.jpg ... with <seq>/groundtruth_rect.txt, 1-based, its
// numbers separated by commas, tabs or spaces. A sequence with two targets has
// groundtruth_rect.1.txt and groundtruth_rect.2.txt instead, read as <seq>-1 and <seq>-2.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "accuracy/dataset/annotation.hpp"
#include "accuracy/dataset/frame_list.hpp"
#include "accuracy/dataset/readers.hpp"

namespace wyr::zok::accuracy {
namespace {

namespace fs = std::filesystem;

// The sequences that OTB's sequence list starts after frame 1. David's file boxes frames
// 300..770 only; Tiger1's boxes every frame but its first five frames are not tracked.
// Elsewhere a file with fewer boxes than frames (Diving, Football1, Freeman3, Freeman4)
// covers the first frames.
struct LateStart {
    const char* name;
    int first;
};
constexpr LateStart LATE_STARTS[] = {
    {"BlurCar1", 247}, {"BlurCar3", 3}, {"BlurCar4", 18}, {"David", 300}, {"Tiger1", 6},
};

int firstFrame(const std::string& name) {
    for (const LateStart& s : LATE_STARTS) {
        if (name == s.name) {
            return s.first;
        }
    }
    return 1;
}

// The annotation files of a sequence folder: groundtruth_rect.txt alone, or the numbered ones.
std::vector<std::string> annotationFiles(const std::string& dir) {
    if (isFile(join(dir, "groundtruth_rect.txt"))) {
        return {"groundtruth_rect.txt"};
    }
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (n.size() > 21 && n.compare(0, 17, "groundtruth_rect.") == 0 &&
            n.compare(n.size() - 4, 4, ".txt") == 0) {
            names.push_back(n);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readTarget(const std::string& dir, const std::string& seqName,
                       const std::string& annotation, const std::string& name, RealSequence& seq) {
    seq.name = name;
    seq.dataset = "OTB";
    const std::string gt = join(dir, annotation);
    std::vector<cv::Rect2d> boxes;
    std::string problem = readBoxes(gt, 1, boxes);
    if (!problem.empty()) {
        return problem;
    }
    const std::string imgDir = join(dir, "img");
    const std::map<int, std::string> frames = listFrames(imgDir);
    if (frames.empty()) {
        return imgDir + ": no frames";
    }
    const int count = int(frames.size());
    int first = firstFrame(seqName);
    const int boxCount = int(boxes.size());
    if (first > 1 && boxCount == count && frames.begin()->first == 1) {
        // Boxes for every frame, but tracking starts later: drop the boxes before the start.
        boxes.erase(boxes.begin(), boxes.begin() + (first - 1));
    } else if (first == 1) {
        first = frames.begin()->first;
    }
    const int last = first + int(boxes.size()) - 1;
    if (boxes.empty() || last > frames.rbegin()->first) {
        return countMismatch(gt, size_t(boxCount), size_t(count));
    }
    problem = frameRange(frames, imgDir, first, last, seq.frames);
    if (!problem.empty()) {
        return problem;
    }
    return setTruth(seq, std::move(boxes), {}, gt);
}

} // namespace

bool looksOtb(const std::string& dir) {
    for (const std::string& sub : subdirectories(dir)) {
        const std::string path = join(dir, sub);
        if (isDirectory(join(path, "img")) && !annotationFiles(path).empty()) {
            return true;
        }
    }
    return false;
}

void readOtb(const std::string& dir, DatasetScan& scan) {
    for (const std::string& sub : subdirectories(dir)) {
        const std::string path = join(dir, sub);
        if (!isDirectory(join(path, "img"))) {
            continue;
        }
        const std::vector<std::string> files = annotationFiles(path);
        if (files.empty()) {
            scan.problems.push_back(join(path, "groundtruth_rect.txt") + ": cannot be opened");
            continue;
        }
        for (const std::string& file : files) {
            std::string name = sub;
            if (files.size() > 1) {
                // groundtruth_rect.<n>.txt: the n-th target
                name += "-" + file.substr(17, file.size() - 21);
            }
            RealSequence seq;
            const std::string problem = readTarget(path, sub, file, name, seq);
            if (problem.empty()) {
                scan.sequences.push_back(std::move(seq));
            } else {
                scan.problems.push_back(problem);
            }
        }
    }
}

} // namespace wyr::zok::accuracy
