#pragma once

#include <vector>

#include "accuracy/real_run.hpp"

namespace wyr::zok::accuracy {

// Runs every sequence in `jobs` worker processes (the longest first, each worker taking the
// next sequence when it is done), drawing a progress bar of sequences and frames on stderr.
// Returns one run a sequence, in the order of `sequences`; a sequence whose worker stopped
// before finishing it comes back with a problem.
std::vector<SequenceRun> runAll(const std::vector<RealSequence>& sequences,
                                const std::vector<TrackerRow>& rows, int jobs);

} // namespace wyr::zok::accuracy
