#pragma once

#include "options.hpp"
#include "tool_config.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace zok_track {

// The configuration toolConfig() gives for the options, then the flags. Throws ConfigError when
// the file is refused.
wyr::zok::TrackerCorr::Params trackerParams(const Options& options);

// The same for the learned tracker, from the file's "TrackerDcf" section. It has no flags.
wyr::zok::TrackerDcf::Params dcfParams(const Options& options);

} // namespace zok_track
