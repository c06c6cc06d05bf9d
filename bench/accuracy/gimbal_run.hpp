#pragma once

#include <functional>
#include <vector>

#include "accuracy/gimbal/closed_loop.hpp"
#include "accuracy/real_run.hpp"

namespace wyr::zok::accuracy {

// The frame rate a closed loop runs a sequence at: the one its dataset states, else 10 for
// UAV123_10fps (which keeps every third frame of 30 fps video), else 30.
double frameRateOf(const RealSequence& seq);

// Runs every available row over `seq` in closed loop: each tracker steers a virtual gimbal of
// its own (`settings`, the camera's frame taken from the sequence's first frame) from the first
// annotated frame, whose box the view is centred on and the tracker started on. Each frame is
// decoded once and then cropped for every tracker in turn. In the traces, `boxes` are the views
// (the crop each frame showed, in frame pixels), `found` the trackers' flags and `errors` the
// updates that raised; no times are taken. `progress` is called with the count of frames done.
SequenceRun runClosedLoopSequence(const RealSequence& seq, const std::vector<TrackerRow>& rows,
                                  const ClosedLoopSettings& settings,
                                  const std::function<void(size_t)>& progress);

} // namespace wyr::zok::accuracy
