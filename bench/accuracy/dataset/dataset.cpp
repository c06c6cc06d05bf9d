#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include <opencv2/imgcodecs.hpp>

#include "accuracy/dataset/frame_list.hpp"
#include "accuracy/dataset/readers.hpp"

namespace wyr::zok::accuracy {
namespace {

struct FormatEntry {
    Format format;
    const char* name;
    bool (*looks)(const std::string&);
    void (*read)(const std::string&, DatasetScan&);
};

// In the order detection tries them: UAV's two top folders are the most specific mark, and
// GOT-10k's (a groundtruth.txt beside the frames) the least.
constexpr FormatEntry FORMATS[] = {
    {Format::UAV, "uav", looksUav, readUav},
    {Format::SIMPLE, "simple", looksSimple, readSimple},
    {Format::OTB, "otb", looksOtb, readOtb},
    {Format::LASOT, "lasot", looksLasot, readLasot},
    {Format::GOT10K, "got10k", looksGot10k, readGot10k},
};

} // namespace

bool parseFormat(const std::string& name, Format& format) {
    if (name == "auto") {
        format = Format::AUTO;
        return true;
    }
    for (const FormatEntry& f : FORMATS) {
        if (name == f.name) {
            format = f.format;
            return true;
        }
    }
    return false;
}

const char* formatName(Format format) {
    for (const FormatEntry& f : FORMATS) {
        if (f.format == format) {
            return f.name;
        }
    }
    return "auto";
}

std::string setTruth(RealSequence& seq, std::vector<cv::Rect2d> boxes,
                     const std::vector<bool>& absent, const std::string& annotation) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    seq.absent.assign(boxes.size(), false);
    bool any = false;
    for (size_t k = 0; k < boxes.size(); ++k) {
        seq.absent[k] = std::isnan(boxes[k].x) || (!absent.empty() && absent[k]);
        if (seq.absent[k]) {
            boxes[k] = cv::Rect2d(nan, nan, nan, nan);
        }
        any = any || (!seq.absent[k] && boxes[k].width > 0 && boxes[k].height > 0);
    }
    seq.truth = std::move(boxes);
    return any ? "" : annotation + ": no frame has a box to start from";
}

DatasetScan readDataset(const std::string& dir, Format format) {
    DatasetScan scan;
    if (!isDirectory(dir)) {
        scan.problems.push_back(dir + ": not a folder");
        return scan;
    }
    const FormatEntry* chosen = nullptr;
    for (const FormatEntry& f : FORMATS) {
        if (format == Format::AUTO ? f.looks(dir) : f.format == format) {
            chosen = &f;
            break;
        }
    }
    if (!chosen) {
        scan.problems.push_back(dir + ": no sequences found (looked for the simple, OTB, UAV123, "
                                      "LaSOT and GOT-10k layouts)");
        return scan;
    }
    scan.format = chosen->format;
    chosen->read(dir, scan);
    if (scan.sequences.empty() && scan.problems.empty()) {
        scan.problems.push_back(dir + ": no sequences found in the " + std::string(chosen->name) +
                                " layout");
    }
    // UAV123 and UAV20L share sequence names; the dataset tells them apart.
    std::sort(scan.sequences.begin(), scan.sequences.end(),
              [](const RealSequence& a, const RealSequence& b) {
                  return std::tie(a.name, a.dataset) < std::tie(b.name, b.dataset);
              });
    return scan;
}

cv::Mat readFrame(const RealSequence& seq, size_t k, cv::Size size, std::string& problem) {
    const std::string& path = seq.frames[k];
    cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
    if (image.empty()) {
        problem = path + ": cannot be decoded";
        return {};
    }
    if (!size.empty() && image.size() != size) {
        problem = path + ": " + std::to_string(image.cols) + "x" + std::to_string(image.rows) +
                  " pixels, where the sequence's first frame has " + std::to_string(size.width) +
                  "x" + std::to_string(size.height);
        return {};
    }
    return image;
}

} // namespace wyr::zok::accuracy
