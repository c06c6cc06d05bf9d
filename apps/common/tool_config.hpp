#pragma once

#include <stdexcept>
#include <string>

#include "zok/zok_config.hpp"

namespace zok_track {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The trackers' parameters a tool starts from: the recommended configuration; or, with a
// configuration file, the library's defaults overlaid by it; or, with `libraryDefaults`, those
// alone. Throws ConfigError when the file is refused; the loader has then said why on standard
// error.
wyr::zok::ZokConfig toolConfig(const std::string& configPath, bool libraryDefaults);

} // namespace zok_track
