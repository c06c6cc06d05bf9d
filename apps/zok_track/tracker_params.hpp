#pragma once

#include <stdexcept>

#include "options.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace zok_track {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The recommended configuration, or with a configuration file the library's defaults overlaid
// by it, or with --library-defaults those alone; then the flags. Throws
// ConfigError when the file is refused; the loader has then said why on standard error.
wyr::zok::TrackerCorr::Params trackerParams(const Options& options);

// The same for the learned tracker, from the file's "TrackerDcf" section. It has no flags.
wyr::zok::TrackerDcf::Params dcfParams(const Options& options);

} // namespace zok_track
