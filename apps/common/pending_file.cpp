#include "pending_file.hpp"

#include <filesystem>

namespace zok_track {

namespace fs = std::filesystem;

PendingFile::PendingFile(std::string path) : path_(std::move(path)) {
    const fs::path p(path_);
    temporary_ =
        (p.parent_path() / ("." + p.stem().string() + ".part" + p.extension().string())).string();
}

PendingFile::~PendingFile() {
    if (!committed_) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
    }
}

void PendingFile::commit() {
    std::error_code error;
    fs::rename(temporary_, path_, error);
    if (error) {
        throw OutputError("cannot write '" + path_ + "': " + error.message());
    }
    committed_ = true;
}

} // namespace zok_track
