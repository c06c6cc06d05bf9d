#pragma once

#include <string>

#include "config/json_document.hpp"
#include "zok/tracker_corr.hpp"

namespace wyr::zok {

// Overlays `params` with the "TrackerCorr" member of the configuration's root object `root`
// (which must be an object). Returns the name of the first key, in reading order, whose value
// has another type than its field takes, with the keys of "VarianceFilter" named
// "VarianceFilter/<key>"; `params` may then be partly written and is to be thrown away.
// Returns an empty string when every value present was taken.
std::string overlayParams(const JsonValue& root, TrackerCorr::Params& params);

} // namespace wyr::zok
