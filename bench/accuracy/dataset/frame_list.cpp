#include "accuracy/dataset/frame_list.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace wyr::zok::accuracy {
namespace fs = std::filesystem;

std::map<int, std::string> listFrames(const std::string& dir) {
    std::map<int, std::string> frames;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::string ext = p.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        const std::string stem = p.stem().string();
        if ((ext != ".jpg" && ext != ".jpeg" && ext != ".png" && ext != ".bmp") || stem.empty() ||
            stem.size() > 9 || !std::all_of(stem.begin(), stem.end(), [](unsigned char c) {
                return std::isdigit(c);
            })) {
            continue;
        }
        frames.emplace(std::stoi(stem), p.string());
    }
    return frames;
}

std::string frameRange(const std::map<int, std::string>& frames, const std::string& dir, int first,
                       int last, std::vector<std::string>& paths) {
    std::vector<std::string> out;
    out.reserve(size_t(std::max(0, last - first + 1)));
    for (int n = first; n <= last; ++n) {
        const auto it = frames.find(n);
        if (it == frames.end()) {
            return dir + ": no frame numbered " + std::to_string(n);
        }
        out.push_back(it->second);
    }
    paths.swap(out);
    return "";
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool isFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::vector<std::string> subdirectories(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec)) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string join(const std::string& dir, const std::string& name) {
    return (fs::path(dir) / name).string();
}

std::string countMismatch(const std::string& path, size_t boxes, size_t frames) {
    return path + ": " + std::to_string(boxes) + " boxes for " + std::to_string(frames) + " frames";
}

} // namespace wyr::zok::accuracy
