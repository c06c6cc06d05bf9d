#include "accuracy/dataset/later_starts.hpp"

#include <string>

namespace wyr::zok::accuracy {

std::vector<RealSequence> withLaterStarts(const std::vector<RealSequence>& sequences, int starts) {
    std::vector<RealSequence> out;
    for (const RealSequence& seq : sequences) {
        out.push_back(seq);
        const size_t n = seq.frames.size();
        for (int k = 1; k < starts; ++k) {
            const size_t first = size_t(k) * n / size_t(starts);
            if (n - first < 2) {
                continue;
            }
            RealSequence later = seq;
            later.name += "@" + std::to_string(k);
            later.frames.erase(later.frames.begin(), later.frames.begin() + long(first));
            later.truth.erase(later.truth.begin(), later.truth.begin() + long(first));
            later.absent.erase(later.absent.begin(), later.absent.begin() + long(first));
            out.push_back(std::move(later));
        }
    }
    return out;
}

} // namespace wyr::zok::accuracy
