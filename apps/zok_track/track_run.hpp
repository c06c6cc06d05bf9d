#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "frame_source.hpp"
#include "options.hpp"

namespace zok_track {

struct StartError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Summary {
    int frames = 0;   // frames tracked, the first included
    int found = 0;    // updates that found the target
    int lostRuns = 0; // runs of consecutive frames without the target
    int longestLostRun = 0;
    double trackerSeconds = 0.0;           // time spent inside the tracker's updates
    std::optional<double> meanError;       // mean distance in pixels from the truth, when known
    std::optional<std::string> endedEarly; // why the input stopped before its announced end
    std::string engine;                    // the correlation engine that ran, by its name
};

// Tracks through the input as `options` say, writing results (and the annotated video) as it
// goes; files are moved into place only when the run completes, ended-early included (FIFOs
// and devices are written into as it goes: see PendingFile). Throws InputError, StartError,
// ConfigError or OutputError before anything is written, and lets errors of the tracker pass.
Summary track(const Options& options);

} // namespace zok_track
