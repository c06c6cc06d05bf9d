#include "accuracy/dataset/shifted_starts.hpp"

#include <algorithm>
#include <string>

namespace wyr::zok::accuracy {

std::vector<RealSequence> withShiftedStarts(const std::vector<RealSequence>& sequences,
                                            int shifts) {
    static const cv::Point2d MOVES[MAX_SHIFTED_STARTS - 1] = {{1, 0}, {0, 1},   {-1, 0}, {0, -1},
                                                              {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    const int copies = std::clamp(shifts, 1, MAX_SHIFTED_STARTS) - 1;
    std::vector<RealSequence> out;
    for (const RealSequence& seq : sequences) {
        out.push_back(seq);
        for (int k = 1; k <= copies; ++k) {
            RealSequence moved = seq;
            moved.name += "~" + std::to_string(k);
            moved.startShift = seq.startShift + MOVES[k - 1];
            out.push_back(std::move(moved));
        }
    }
    return out;
}

} // namespace wyr::zok::accuracy
