#pragma once

#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok {

// A template of the target with the position at which it was taken, relative to the image centre.
struct TemplateEntry {
    cv::Mat templ;
    cv::Point offset;
    cv::Point subPixel; // finer than one pixel, in 1/zoomFactor pixel steps
};

// The same for one axis of the per-axis mode.
struct AxisTemplateEntry {
    cv::Mat templ;
    int offset = 0;
    int subPixel = 0;
};

// A fixed-capacity ring of templates. Its slots are allocated once, when the ring is built; pushing
// only reassigns matrix headers, so following a target never allocates in the history.
template <class Entry>
class TemplateRing {
public:
    explicit TemplateRing(size_t requestedCapacity)
        : entries_(requestedCapacity == 0 ? 1 : requestedCapacity), capacity_(entries_.size()) {}

    // Overwrites the oldest slot once the ring is full. The entry's matrix is shared, not copied.
    void push(const Entry& entry) {
        entries_[head_] = entry;
        head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
        if (count_ < capacity_) {
            ++count_;
        }
    }

    // While nothing is live this is the slot the next push writes: empty until written.
    const Entry& oldest() const {
        return entries_[head_ >= count_ ? head_ - count_ : head_ + capacity_ - count_];
    }

    const Entry& newest() const { return entries_[head_ == 0 ? capacity_ - 1 : head_ - 1]; }

    // With capacity 1 the newest slot is the one written, so the entry is assigned to itself.
    void pushNewestAgain() { push(newest()); }

    // Keeps only the entry pushed last, which becomes the oldest as well.
    void collapse() { count_ = 1; }

    size_t capacity() const { return capacity_; }
    size_t head() const { return head_; }
    size_t count() const { return count_; }
    const Entry& slot(size_t index) const { return entries_[index]; }

private:
    std::vector<Entry> entries_;
    size_t capacity_;
    size_t head_ = 0;
    size_t count_ = 0;
};

} // namespace wyr::zok
