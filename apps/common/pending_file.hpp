#pragma once

#include <stdexcept>
#include <string>

namespace zok_track {

struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An output file, written so that a failed run leaves no half-written file behind and that
// nothing the path names is ever replaced by something else. By what the path names:
// - a regular file, or nothing yet: the output is written under a unique hidden name beside it
//   and moved into place by commit(); destroying the PendingFile before commit() deletes it;
// - a symbolic link: the same for the file the link leads to, which the link keeps naming;
// - a FIFO or a device: the output is written straight into it, as a reader waits for it there;
// - anything else (a directory, a socket): refused with OutputError.
class PendingFile {
public:
    // Throws OutputError when the path names something that cannot be written, or when the
    // hidden file cannot be made.
    explicit PendingFile(std::string path);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return path_; }
    // Where to write until commit(): the hidden file, which keeps the extension of path() that
    // video writers go by, or the FIFO or device itself.
    const std::string& writePath() const { return writePath_; }
    // Throws OutputError when the file cannot be moved into place.
    void commit();

private:
    std::string path_;
    std::string writePath_;
    std::string target_; // the file the hidden one replaces; empty when written in place
    bool committed_ = false;
};

} // namespace zok_track
