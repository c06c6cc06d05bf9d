#pragma once

#include <functional>
#include <vector>

#include "accuracy/real_run.hpp"

namespace wyr::zok::accuracy {

// What runs one sequence through every row: runSequence, or another protocol over the same
// traces (the closed loop).
using SequenceRunner = std::function<SequenceRun(
    const RealSequence&, const std::vector<TrackerRow>&, const std::function<void(size_t)>&)>;

// Runs every sequence in `jobs` worker processes (the longest first, each worker taking the
// next sequence when it is done) through `runner`, drawing a progress bar of sequences and
// frames on stderr. Returns one run a sequence, in the order of `sequences`; a sequence whose
// worker stopped before finishing it comes back with a problem.
std::vector<SequenceRun> runAll(const std::vector<RealSequence>& sequences,
                                const std::vector<TrackerRow>& rows, int jobs,
                                const SequenceRunner& runner = runSequence);

} // namespace wyr::zok::accuracy
