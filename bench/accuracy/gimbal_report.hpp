#pragma once

#include <string>
#include <vector>

#include "accuracy/gimbal/closed_loop.hpp"
#include "accuracy/real_run.hpp"

namespace wyr::zok::accuracy {

// Writes, into `dir`, the closed loop's results: gimbal-tables.md (how the run was set up, the
// overall table and the table per sequence, in Markdown) and gimbal-paths.csv (frame by frame,
// the centre of each tracker's view and of the target, in frame pixels, for the plot). `runs`
// holds one clean closed-loop run per sequence, in the same order. Returns the overall table,
// or "" when a file cannot be written.
std::string writeClosedLoopReport(const std::vector<RealSequence>& sequences,
                                  const std::vector<SequenceRun>& runs,
                                  const std::vector<TrackerRow>& rows,
                                  const ClosedLoopSettings& settings, const std::string& dir);

} // namespace wyr::zok::accuracy
