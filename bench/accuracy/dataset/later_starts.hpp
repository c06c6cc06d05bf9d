#pragma once

#include <vector>

#include "accuracy/dataset/sequence.hpp"

namespace wyr::zok::accuracy {

// Most real sequences are decided by one or two moments (an occluder, a look-alike), and one
// pass from the first frame meets each moment in one state only: a small change of a tracker
// flips such a sequence from followed to lost, and a mean over a few dozen sequences moves by
// more than the change is worth. Starting the same footage again from later frames meets those
// moments from other states, so that a mean over all the starts tells a better tracker from a
// luckier one (the temporal robustness evaluation of the OTB benchmark).
//
// Returns every sequence followed by `starts - 1` copies of it that begin at frames
// k * n / starts (k = 1 .. starts - 1, n its frames), each named "<name>@<k>"; a copy too short
// to score (fewer than two frames) is left out. A copy's first annotated frame is where the
// trackers start, as for any sequence. `starts` below 2 returns the sequences as they are.
std::vector<RealSequence> withLaterStarts(const std::vector<RealSequence>& sequences, int starts);

} // namespace wyr::zok::accuracy
