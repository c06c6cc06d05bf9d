#pragma once

#include <vector>

#include "accuracy/dataset/sequence.hpp"

namespace wyr::zok::accuracy {

// The most starts withShiftedStarts() makes of a sequence: the first box as annotated and its
// eight moves by one pixel.
inline constexpr int MAX_SHIFTED_STARTS = 9;

// A tracker on real footage is chaotic: a change as small as a pixel in its first box can flip a
// sequence decided by one moment (an occluder, a look-alike) from followed to lost. Starting it
// again from first boxes moved by a pixel, well within the annotation's own error, measures
// that spread, and a mean over the moved starts tells a better tracker from a luckier one (the
// spatial robustness evaluation of the OTB benchmark, with moves too small to change the task).
//
// Returns every sequence followed by `shifts - 1` copies of it whose trackers start from the
// first box moved by one pixel: right, down, left, up, then the four diagonals, in that order
// (`shifts` is clamped into 1..MAX_SHIFTED_STARTS). Copy k is named "<name>~<k>"; its frames and
// truth are the sequence's, as the truth scored does not move.
std::vector<RealSequence> withShiftedStarts(const std::vector<RealSequence>& sequences, int shifts);

} // namespace wyr::zok::accuracy
