#include "pending_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace zok_track {

namespace fs = std::filesystem;

namespace {

OutputError cannotWrite(const std::string& path, const std::string& why) {
    return OutputError("cannot write '" + path + "': " + why);
}

// The path a chain of symbolic links leads to when its last link names nothing yet: writing
// through it creates that file. Links are followed as the kernel does, at most 40 deep.
fs::path danglingTarget(const std::string& path) {
    fs::path at(path);
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(at, error);
        if (status.type() != fs::file_type::symlink) {
            return at;
        }
        const fs::path next = fs::read_symlink(at, error);
        if (error) {
            throw cannotWrite(path, error.message());
        }
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    throw cannotWrite(path, std::strerror(ELOOP));
}

// A new empty file under a unique hidden name beside `target`, ending in `extension`; made
// exclusively, so that nothing already there (another run's file, a planted link) is reused.
std::string makeHiddenBeside(const fs::path& target, const std::string& extension,
                             const std::string& path) {
    const std::string name =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX" + extension))
            .string();
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkstemps(buffer.data(), int(extension.size()));
    if (fd < 0) {
        throw cannotWrite(path, std::strerror(errno));
    }
    // The new file gets the permissions of the one it replaces, or those any new file gets.
    struct stat existing {};
    mode_t mode = 0;
    if (stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    close(fd);
    return buffer.data();
}

} // namespace

PendingFile::PendingFile(std::string path) : path_(std::move(path)) {
    struct stat named {};
    if (stat(path_.c_str(), &named) == 0) {
        if (S_ISFIFO(named.st_mode) || S_ISCHR(named.st_mode) || S_ISBLK(named.st_mode)) {
            writePath_ = path_;
            return;
        }
        if (!S_ISREG(named.st_mode)) {
            throw cannotWrite(path_, S_ISDIR(named.st_mode)
                                         ? "it is a folder"
                                         : "it is not a file, a FIFO or a device");
        }
        // Through every link, to the file itself, so that the links stay.
        std::error_code error;
        target_ = fs::canonical(path_, error).string();
        if (error) {
            throw cannotWrite(path_, error.message());
        }
    } else if (errno == ENOENT) {
        target_ = danglingTarget(path_).string();
    } else {
        throw cannotWrite(path_, std::strerror(errno));
    }
    writePath_ = makeHiddenBeside(target_, fs::path(path_).extension().string(), path_);
}

PendingFile::~PendingFile() {
    if (!committed_ && !target_.empty()) {
        std::error_code ignored;
        fs::remove(writePath_, ignored);
    }
}

void PendingFile::commit() {
    if (!target_.empty()) {
        std::error_code error;
        fs::rename(writePath_, target_, error);
        if (error) {
            throw cannotWrite(path_, error.message());
        }
    }
    committed_ = true;
}

} // namespace zok_track
