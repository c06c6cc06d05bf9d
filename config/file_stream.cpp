#include "config/file_stream.hpp"

#include <algorithm>

namespace wyr::zok {

FileStream::FileStream(std::FILE* file, char* buffer, size_t size, size_t limit)
    : file_(file), buffer_(buffer), size_(size), limit_(limit), current_(buffer), last_(buffer) {
    refill();
}

void FileStream::refill() {
    consumed_ += size_t(last_ - buffer_);
    const size_t read = std::fread(buffer_, 1, std::min(size_, limit_ - consumed_), file_);
    current_ = buffer_;
    last_ = buffer_ + read;
    if (read == 0 && consumed_ == limit_ && std::fgetc(file_) != EOF) {
        tooLarge_ = true;
    }
}

} // namespace wyr::zok
