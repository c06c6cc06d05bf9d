#pragma once

#include <string>
#include <vector>

#include "accuracy/real_run.hpp"

namespace wyr::zok::accuracy {

// Writes, into `dir`, the tables of a run as Markdown (real-tables.md: overall, per dataset,
// per attribute, per sequence), the mean success and precision curves of each row
// (curves.csv) and every update's time beside the size of the box it started from
// (timings.csv). `runs` holds one clean run per sequence, in the same order. Returns the
// overall table, or "" when a file cannot be written.
std::string writeReport(const std::vector<RealSequence>& sequences,
                        const std::vector<SequenceRun>& runs, const std::vector<TrackerRow>& rows,
                        const std::string& dir);

} // namespace wyr::zok::accuracy
