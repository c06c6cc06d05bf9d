#pragma once

#include <string>

#include "config/json_document.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok {

// Overlays `params` with the "TrackerCorr" member of the configuration's root object `root`
// (which must be an object). Returns the name of the first key, in reading order, whose value
// has another type than its field takes, with the keys of "VarianceFilter" named
// "VarianceFilter/<key>"; `params` may then be partly written and is to be thrown away.
// Returns an empty string when every value present was taken.
std::string overlayParams(const JsonValue& root, TrackerCorr::Params& params);

// The same for the "TrackerDcf" member of `root`, whose keys are the names of the
// TrackerDcf::Params fields, read by the same rules as the "TrackerCorr" keys of their types.
std::string overlayParams(const JsonValue& root, TrackerDcf::Params& params);

} // namespace wyr::zok
