#pragma once

#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace zok_track {

// The text of config/recommended.json, built into the tool.
extern const char* const kRecommendedConfig;

// The library's defaults overlaid with the recommended configuration. Throws std::logic_error
// if the built-in text is not a configuration the loader takes, which the tests rule out.
wyr::zok::TrackerCorr::Params recommendedParams();

// The same for the learned tracker: its defaults, overlaid with the built-in text's
// "TrackerDcf" section when it has one.
wyr::zok::TrackerDcf::Params recommendedDcfParams();

} // namespace zok_track
