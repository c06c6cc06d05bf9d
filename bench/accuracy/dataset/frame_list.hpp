#pragma once

#include <map>
#include <string>
#include <vector>

namespace wyr::zok::accuracy {

// The images in `dir` whose names are a frame number ("0001.jpg", "00000001.png"), by number.
// Empty when the folder cannot be read or holds none.
std::map<int, std::string> listFrames(const std::string& dir);

// The frames numbered first..last, in order. Returns "" or a message naming the folder and the
// first number missing from it.
std::string frameRange(const std::map<int, std::string>& frames, const std::string& dir, int first,
                       int last, std::vector<std::string>& paths);

bool isDirectory(const std::string& path);
bool isFile(const std::string& path);
// The sub-folders of `dir`, sorted by name; empty when it cannot be read.
std::vector<std::string> subdirectories(const std::string& dir);
std::string join(const std::string& dir, const std::string& name);

// "<path>: <count> boxes for <frames> frames" and the like, shared by the readers.
std::string countMismatch(const std::string& path, size_t boxes, size_t frames);

} // namespace wyr::zok::accuracy
