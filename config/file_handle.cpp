// Asks a C11 runtime that has the bounds-checking interfaces to declare fopen_s.
#define __STDC_WANT_LIB_EXT1__ 1

#include "config/file_handle.hpp"

namespace wyr::zok {

FileHandle openForReading(const char* path) {
    if (path == nullptr) {
        return FileHandle();
    }
#if defined(_WIN32) || defined(__STDC_LIB_EXT1__)
    // The Windows runtime deprecates fopen in favour of fopen_s, which reports through its
    // result instead of errno.
    std::FILE* file = nullptr;
    if (fopen_s(&file, path, "rb") != 0) {
        return FileHandle();
    }
    return FileHandle(file);
#else
    return FileHandle(std::fopen(path, "rb"));
#endif
}

} // namespace wyr::zok
