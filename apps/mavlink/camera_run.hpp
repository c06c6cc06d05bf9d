#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "options.hpp"

namespace zok_mavlink {

// Runs the camera until the input ends or `stop` is set; a running track is ended first, so
// that the gimbal is left still and handed back. Returns why the input stopped early when it
// failed while playing. Throws zok_track::ConfigError, zok_track::InputError (also for an input
// without a single frame), LinkError or zok_track::OutputError before anything is sent.
std::optional<std::string> runCamera(const Options& options, const std::atomic<bool>& stop);

} // namespace zok_mavlink
