// UAV123, UAV123_10fps and UAV20L: anno/<subset>/<seq>.txt (1-based, NaN rows where the target
// is out of view) boxing the frames of data_seq/<subset>/<seq>/000001.jpg ...; UAV20L's long
// sequences use UAV123's frames, and the split sequences a frame range of a longer folder.
#include <filesystem>
#include <system_error>

#include "accuracy/dataset/annotation.hpp"
#include "accuracy/dataset/frame_list.hpp"
#include "accuracy/dataset/readers.hpp"

namespace wyr::zok::accuracy {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> annotationNames(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && it->path().extension() == ".txt") {
            names.push_back(it->path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readSequence(const std::string& root, const std::string& subset,
                         const std::string& name, RealSequence& seq) {
    seq.name = name;
    seq.dataset = subset;
    const std::string gt = join(join(join(root, "anno"), subset), name + ".txt");
    std::vector<cv::Rect2d> boxes;
    std::string problem = readBoxes(gt, 1, boxes);
    if (!problem.empty()) {
        return problem;
    }
    const SplitRange* split = findSplit(subset, name);
    const std::string folder = split ? split->folder : name;
    std::string imgDir = join(join(join(root, "data_seq"), subset), folder);
    if (!isDirectory(imgDir) && subset == "UAV20L") {
        imgDir = join(join(join(root, "data_seq"), "UAV123"), folder);
    }
    if (!isDirectory(imgDir)) {
        return gt + ": no frame folder " + imgDir;
    }
    const std::map<int, std::string> frames = listFrames(imgDir);
    if (frames.empty()) {
        return imgDir + ": no frames";
    }
    const int first = split ? split->first : frames.begin()->first;
    const int last = split ? split->last : first + int(boxes.size()) - 1;
    if (size_t(last - first + 1) != boxes.size()) {
        return countMismatch(gt, boxes.size(), size_t(last - first + 1));
    }
    problem = frameRange(frames, imgDir, first, last, seq.frames);
    if (!problem.empty()) {
        return problem;
    }
    return setTruth(seq, std::move(boxes), {}, gt);
}

} // namespace

bool looksUav(const std::string& dir) {
    return isDirectory(join(dir, "anno")) && isDirectory(join(dir, "data_seq"));
}

void readUav(const std::string& dir, DatasetScan& scan) {
    const std::string anno = join(dir, "anno");
    for (const std::string& subset : subdirectories(anno)) {
        for (const std::string& name : annotationNames(join(anno, subset))) {
            RealSequence seq;
            const std::string problem = readSequence(dir, subset, name, seq);
            if (problem.empty()) {
                scan.sequences.push_back(std::move(seq));
            } else {
                scan.problems.push_back(problem);
            }
        }
    }
}

} // namespace wyr::zok::accuracy
