#pragma once

#include <functional>
#include <vector>

#include "accuracy/real_run.hpp"

namespace wyr::zok::accuracy {

// How long a worker may go without reporting progress on a sequence (every tenth frame, and
// when it takes one) before it counts as hung: far beyond any tracker's ten updates.
inline constexpr double kStallSeconds = 300.0;

// What runs one sequence through every row: runSequence, or another protocol over the same
// traces (the closed loop).
using SequenceRunner = std::function<SequenceRun(
    const RealSequence&, const std::vector<TrackerRow>&, const std::function<void(size_t)>&)>;

// Runs every sequence in `jobs` worker processes (the longest first, each worker taking the
// next sequence when it is done) through `runner`, drawing a progress bar of sequences and
// frames on stderr. Returns one run a sequence, in the order of `sequences`; a sequence whose
// worker stopped before finishing it comes back with a problem. A worker silent on a sequence
// for `stallSeconds` (a tracker that never returns) is stopped, its sequence left out with a
// problem that says so, and a new worker goes on with the sequences left.
std::vector<SequenceRun> runAll(const std::vector<RealSequence>& sequences,
                                const std::vector<TrackerRow>& rows, int jobs,
                                const SequenceRunner& runner = runSequence,
                                double stallSeconds = kStallSeconds);

} // namespace wyr::zok::accuracy
