#pragma once

#include <string>
#include <vector>

#include "accuracy/trackers.hpp"

namespace wyr::zok::accuracy {

// What every accuracy program is told about its run: where its results go and which rows run.
struct RunSetup {
    std::string out;                   // the results' folder, made if missing
    std::string recommended;           // zok's recommended configuration
    std::vector<std::string> variants; // "[dcf:]NAME=config.json", a row each
    std::string trackers;              // the ids to keep, comma-separated, or "all"
};

// Makes the results' folder, quiets OpenCV's log, runs OpenCV on one thread (one core per
// tracker, as on a drone's companion computer) and builds the rows: the standard ones that
// `setup.trackers` names, then every variant (asked for by name already), each probed for what
// this build can run.
// Returns "" or the usage problem, naming the option at fault.
std::string setUpRun(const RunSetup& setup, std::vector<TrackerRow>& rows);

} // namespace wyr::zok::accuracy
