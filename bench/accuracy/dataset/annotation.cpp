#include "accuracy/dataset/annotation.hpp"

#include <map>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>

#include "accuracy/dataset/frame_list.hpp"

namespace wyr::zok::accuracy {
namespace {

bool isSeparator(char c) {
    return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == ';';
}

std::vector<std::string> tokens(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSeparator(line[i])) {
            ++i;
        }
        size_t j = i;
        while (j < line.size() && !isSeparator(line[j])) {
            ++j;
        }
        if (j > i) {
            out.push_back(line.substr(i, j - i));
        }
        i = j;
    }
    return out;
}

// Parses the whole token as a number: NaN is a number here (an unannotated frame), infinity
// is not, and neither is "12abc".
bool parseNumber(const std::string& token, double& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() && !std::isinf(value) && errno != ERANGE;
}

std::string at(const std::string& path, size_t line) {
    return path + ":" + std::to_string(line) + ": ";
}

// Lines of the file with trailing blank lines dropped; false when it cannot be opened.
bool readLines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    while (!lines.empty() && tokens(lines.back()).empty()) {
        lines.pop_back();
    }
    return true;
}

} // namespace

std::string readBoxes(const std::string& path, int base, std::vector<cv::Rect2d>& boxes) {
    std::vector<std::string> lines;
    if (!readLines(path, lines)) {
        return path + ": cannot be opened";
    }
    if (lines.empty()) {
        return path + ": no boxes";
    }
    std::vector<cv::Rect2d> out;
    out.reserve(lines.size());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> fields = tokens(lines[i]);
        if (fields.empty()) {
            return at(path, i + 1) + "blank line before the end of the file";
        }
        if (fields.size() != 4) {
            return at(path, i + 1) + "expected 4 numbers (x, y, width, height), found " +
                   std::to_string(fields.size()) + " fields";
        }
        double v[4];
        bool missing = false;
        for (int f = 0; f < 4; ++f) {
            if (!parseNumber(fields[f], v[f])) {
                return at(path, i + 1) + "'" + fields[f] + "' is not a number";
            }
            missing = missing || std::isnan(v[f]);
        }
        if (missing) {
            out.emplace_back(nan, nan, nan, nan);
            continue;
        }
        if (v[2] < 0 || v[3] < 0) {
            return at(path, i + 1) + "negative width or height";
        }
        out.emplace_back(v[0] - base, v[1] - base, v[2], v[3]);
    }
    boxes.swap(out);
    return "";
}

std::string readFlags(const std::string& path, std::vector<bool>& flags) {
    std::vector<std::string> lines;
    if (!readLines(path, lines)) {
        return path + ": cannot be opened";
    }
    std::vector<bool> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        for (const std::string& field : tokens(lines[i])) {
            if (field != "0" && field != "1") {
                return at(path, i + 1) + "'" + field + "' is not a flag (0 or 1)";
            }
            out.push_back(field == "1");
        }
    }
    flags.swap(out);
    return "";
}

std::string readBoxPerFrame(const std::string& annotation, int base, const std::string& framesDir,
                            std::vector<cv::Rect2d>& boxes, std::vector<std::string>& frames) {
    std::string problem = readBoxes(annotation, base, boxes);
    if (!problem.empty()) {
        return problem;
    }
    const std::map<int, std::string> numbered = listFrames(framesDir);
    if (numbered.empty()) {
        return framesDir + ": no frames";
    }
    if (numbered.size() != boxes.size()) {
        return countMismatch(annotation, boxes.size(), numbered.size());
    }
    const int first = numbered.begin()->first;
    return frameRange(numbered, framesDir, first, first + int(boxes.size()) - 1, frames);
}

} // namespace wyr::zok::accuracy
