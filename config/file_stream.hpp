#pragma once

#include <cstddef>
#include <cstdio>

namespace wyr::zok {

// A RapidJSON input stream over a C stream, read in blocks through a caller's buffer. RapidJSON
// takes the character '\0' for the end of its input, so a NUL byte in a file would end the text
// early and hide what follows it; atEnd() tells the true end of the file apart from such a byte.
// The stream shows at most `limit` bytes of the file and ends there: tooLarge() tells a file
// that holds more apart from one that ends at the limit, and nothing beyond the byte that tells
// is ever read.
class FileStream {
public:
    using Ch = char;

    FileStream(std::FILE* file, char* buffer, size_t size, size_t limit);

    Ch Peek() const { return current_ < last_ ? *current_ : '\0'; }
    Ch Take() {
        const Ch c = Peek();
        if (current_ < last_) {
            ++current_;
            if (current_ == last_) {
                refill();
            }
        }
        return c;
    }
    size_t Tell() const { return consumed_ + size_t(current_ - buffer_); }

    // True once every byte of the file has been taken.
    bool atEnd() const { return current_ == last_ && !tooLarge_; }

    // True once the stream has reached its limit with more of the file left.
    bool tooLarge() const { return tooLarge_; }

    // RapidJSON's stream concept asks for these; a reading stream never writes.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }

private:
    void refill();

    std::FILE* file_;
    char* buffer_;
    size_t size_;
    size_t limit_;
    char* current_;
    char* last_;
    size_t consumed_ = 0;
    bool tooLarge_ = false;
};

} // namespace wyr::zok
