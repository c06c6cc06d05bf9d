#pragma once

#include <stdexcept>

#include "options.hpp"
#include "zok/tracker_corr.hpp"

namespace zok_track {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The defaults, overlaid by the configuration file (when given) and then by the flags. Throws
// ConfigError when the file is refused; the loader has then said why on standard error.
wyr::zok::TrackerCorr::Params trackerParams(const Options& options);

} // namespace zok_track
