#include "config/file_stream.hpp"

namespace wyr::zok {

FileStream::FileStream(std::FILE* file, char* buffer, size_t size)
    : file_(file), buffer_(buffer), size_(size), current_(buffer), last_(buffer) {
    refill();
}

void FileStream::refill() {
    consumed_ += size_t(last_ - buffer_);
    const size_t read = std::fread(buffer_, 1, size_, file_);
    current_ = buffer_;
    last_ = buffer_ + read;
}

} // namespace wyr::zok
