#pragma once

#include <stdexcept>
#include <string>

namespace zok_track {

struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An output written under a hidden temporary name beside its final one and moved into place by
// commit(); until then, destroying it deletes the temporary file, so that a failed run leaves no
// half-written output behind.
class PendingFile {
public:
    explicit PendingFile(std::string path);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return path_; }
    // Where to write until commit(); keeps the extension, which video writers go by.
    const std::string& temporaryPath() const { return temporary_; }
    // Throws OutputError when the file cannot be moved into place.
    void commit();

private:
    std::string path_;
    std::string temporary_;
    bool committed_ = false;
};

} // namespace zok_track
