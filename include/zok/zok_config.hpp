#pragma once

#include <cstddef>

#include "zok/export.hpp"
#include "zok/tracker_corr.hpp"
#include "zok/tracker_dcf.hpp"

namespace wyr::zok {

/// The largest configuration file ZokConfig::LoadFromJson() takes, in bytes: 1 MiB, hundreds of
/// times any configuration. The loader holds the parsed file whole, up to about ten bytes for
/// each byte of text, so the bound keeps it within about 10 MB; it stops reading at the first
/// byte beyond the bound.
inline constexpr size_t CONFIG_FILE_MAX_BYTES = size_t(1) << 20;

/// The deepest nesting of arrays and objects ZokConfig::LoadFromJson() takes, the root object
/// being level 1: 128 levels, where the configuration itself uses 3. The parser keeps a record
/// for every open level, so a file of nothing but opening brackets is refused at the first one
/// too deep instead of being read on.
inline constexpr size_t CONFIG_MAX_NESTING = 128;

/// The settings a client program keeps for the library: a plain record, filled by its
/// constructor with every component's defaults, by hand, or from a JSON file.
struct ZokConfig {
    /// Parameters of the correlation tracker; starts with the Params defaults.
    TrackerCorr::Params trackerCorr;

    /// Parameters of the learned correlation-filter tracker; starts with the Params defaults.
    TrackerDcf::Params trackerDcf;

    /// Overlays `trackerCorr` and `trackerDcf` with the values of the JSON file at `path`.
    ///
    /// The file must be one strict JSON text (no comments, trailing commas, NaN, Infinity or
    /// byte-order mark, nothing but whitespace after the root value, not even a NUL byte) whose
    /// root is an object. Of the root only "TrackerCorr" and "TrackerDcf" are read; the first is an
    /// object whose members carry the Params field names ("searchRadiusFactor", "threshold",
    /// "altSearchRadiiFactors", "cloneImage", "depth", "zoomFactor", "mode1D", "sigmaExp",
    /// "engine", "zeroMean", "updateThreshold", "redetectThreshold" and the object
    /// "VarianceFilter" with "threshold",
    /// "kSize", "greyscale"). Keys match
    /// case-sensitively; other members are ignored; of a repeated key only the first counts.
    /// A key that is absent leaves its field as it was. No range checks are made here: the
    /// tracker clamps when it is constructed.
    ///
    /// "TrackerDcf" is an object whose members carry the names of the TrackerDcf::Params fields,
    /// matched by the same rules and each read by the rules below for its type.
    ///
    /// Values: numbers are read as double (floats then rounded to nearest, beyond the float
    /// range to an infinity); "depth" takes an integer 0..4294967295, "zoomFactor" and "kSize"
    /// an integer in int's range, written without fraction or exponent; a boolean field
    /// becomes true only for the literal true, whatever else it holds; "engine" takes the
    /// string "opencv", "fft" or "auto" (exactly, in lower case). The numbers of
    /// "altSearchRadiiFactors" are appended to the list, which is not emptied first.
    ///
    /// Returns true when the file was read and its root is an object, with or without either
    /// section. Returns false, with `trackerCorr` and `trackerDcf` wholly unchanged, when:
    /// - the file cannot be opened: writes
    ///   "Error: failed to open configuration file '<path>'\n" to std::cerr;
    /// - the text is not JSON, or the parser ran out of memory: writes
    ///   "Error: failed to parse JSON configuration from '<path>'\n";
    /// - the file holds more than CONFIG_FILE_MAX_BYTES bytes: writes
    ///   "Error: configuration file '<path>' is larger than 1048576 bytes\n";
    /// - an array or object, anywhere in the file (ignored members too), lies deeper than
    ///   CONFIG_MAX_NESTING levels: writes "Error: configuration file '<path>' nests arrays and
    ///   objects deeper than 128 levels\n".
    ///   Reading stops at the first of these three faults, and that one is reported;
    /// - the root is not an object: writes nothing;
    /// - a value has another type than its key takes ("TrackerCorr" or "VarianceFilter" not
    ///   an object, a number field not a number, an integer field not an integer in range,
    ///   "altSearchRadiiFactors" not an array of numbers, "engine" not one of its three
    ///   strings): writes
    ///   "Error: invalid value for \"<key>\" in configuration file '<path>'\n", where a key of
    ///   "VarianceFilter" is named "VarianceFilter/<key>".
    ///   So too for "TrackerDcf" and its keys, which are named alone, without their section.
    ///   The keys of "TrackerCorr" are checked first: of refused values in both sections, the
    ///   one in "TrackerCorr" is named.
    /// Only std::bad_alloc raised outside the parser leaves this function, again with both
    /// records unchanged. The file is closed before the function returns, on every path.
    ZOK_EXPORT bool LoadFromJson(const char* path);
};

} // namespace wyr::zok
