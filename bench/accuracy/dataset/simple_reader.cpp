// The plain layout: <seq>/frames/00001.jpg ..., <seq>/gt.txt (one 0-based x,y,w,h a frame,
// NaN where not annotated) and an optional <seq>/meta.json with "dataset", "attributes" and
// "fps" (the frame rate; null where unknown).
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <fstream>
#include <string>

#include "accuracy/dataset/annotation.hpp"
#include "accuracy/dataset/frame_list.hpp"
#include "accuracy/dataset/readers.hpp"

namespace wyr::zok::accuracy {
namespace {

constexpr size_t META_MAX_BYTES = 1 << 20;

bool isSimpleSequence(const std::string& dir) {
    return isDirectory(join(dir, "frames")) && isFile(join(dir, "gt.txt"));
}

std::string readMeta(const std::string& path, RealSequence& seq) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return path + ": cannot be opened";
    }
    // Read whole up to a bound that no description of a sequence comes near, so that a stray
    // large file is refused rather than held; parsed without recursion, so that deep nesting
    // cannot run the call stack out.
    std::string text(META_MAX_BYTES + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    if (text.size() > META_MAX_BYTES) {
        return path + ": larger than " + std::to_string(META_MAX_BYTES) + " bytes";
    }
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag>(text.data(),
                                                                              text.size());
    if (doc.HasParseError()) {
        return path + ": not valid JSON at byte " + std::to_string(doc.GetErrorOffset()) + " (" +
               rapidjson::GetParseError_En(doc.GetParseError()) + ")";
    }
    if (!doc.IsObject()) {
        return path + ": not a JSON object";
    }
    const auto dataset = doc.FindMember("dataset");
    if (dataset != doc.MemberEnd()) {
        if (!dataset->value.IsString()) {
            return path + ": \"dataset\" is not a string";
        }
        seq.dataset = dataset->value.GetString();
    }
    const auto attributes = doc.FindMember("attributes");
    if (attributes != doc.MemberEnd()) {
        if (!attributes->value.IsArray()) {
            return path + ": \"attributes\" is not a list of names";
        }
        for (const auto& a : attributes->value.GetArray()) {
            if (!a.IsString()) {
                return path + ": \"attributes\" is not a list of names";
            }
            seq.attributes.push_back(a.GetString());
        }
    }
    const auto fps = doc.FindMember("fps");
    if (fps != doc.MemberEnd() && !fps->value.IsNull()) {
        if (!fps->value.IsNumber() || !(fps->value.GetDouble() > 0.0)) {
            return path + ": \"fps\" is not a positive number";
        }
        seq.frameRate = fps->value.GetDouble();
    }
    return "";
}

std::string readSequence(const std::string& dir, const std::string& name, RealSequence& seq) {
    seq.name = name;
    seq.dataset = "simple";
    const std::string gt = join(dir, "gt.txt");
    std::vector<cv::Rect2d> boxes;
    const std::string framesDir = join(dir, "frames");
    std::string problem = readBoxPerFrame(gt, 0, framesDir, boxes, seq.frames);
    if (!problem.empty()) {
        return problem;
    }
    const std::string meta = join(dir, "meta.json");
    if (isFile(meta)) {
        problem = readMeta(meta, seq);
        if (!problem.empty()) {
            return problem;
        }
    }
    return setTruth(seq, std::move(boxes), {}, gt);
}

} // namespace

bool looksSimple(const std::string& dir) {
    if (isSimpleSequence(dir)) {
        return true;
    }
    for (const std::string& sub : subdirectories(dir)) {
        if (isSimpleSequence(join(dir, sub))) {
            return true;
        }
    }
    return false;
}

void readSimple(const std::string& dir, DatasetScan& scan) {
    std::vector<std::pair<std::string, std::string>> found; // folder, name
    if (isSimpleSequence(dir)) {
        std::string name = dir;
        while (name.size() > 1 && name.back() == '/') {
            name.pop_back();
        }
        found.emplace_back(dir, name.substr(name.find_last_of('/') + 1));
    } else {
        for (const std::string& sub : subdirectories(dir)) {
            const std::string path = join(dir, sub);
            if (isSimpleSequence(path)) {
                found.emplace_back(path, sub);
            } else if (isDirectory(join(path, "frames"))) {
                scan.problems.push_back(join(path, "gt.txt") + ": cannot be opened");
            }
        }
    }
    for (const auto& [path, name] : found) {
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
