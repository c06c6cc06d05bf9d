#pragma once

#include <optional>
#include <string>

#include <gst/gst.h>

#include "start_request.hpp"

namespace zok_gst {

// What the application asked of the track, taken by the streaming thread with the next frame.
// The last request wins.
struct Command {
    enum Kind { NONE, START, DROP } kind = NONE;
    StartRequest start;
};

// Whether `structure` is a request for the element: one named "zoktrack-start" or
// "zoktrack-reset".
bool isRequest(const GstStructure* structure);

// The command of a request: "zoktrack-reset" drops the track; "zoktrack-start" starts one from
// "box" (a string "x,y,w,h", or the integers "x", "y", "width", "height") or from "offset" and
// "half-size" (strings "x,y" and "w,h"), tried in that order. Nothing, with `why` saying what was
// expected, for a start it cannot read.
std::optional<Command> parseRequest(const GstStructure* structure, std::string& why);

} // namespace zok_gst
