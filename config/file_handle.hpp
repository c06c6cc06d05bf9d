#pragma once

#include <cstdio>
#include <memory>

namespace wyr::zok {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// Owns an open C stream, so that every way out of a reader closes its file.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for binary reading. Empty when the file cannot be opened or `path` is null.
FileHandle openForReading(const char* path);

} // namespace wyr::zok
