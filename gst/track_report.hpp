#pragma once

#include <gst/gst.h>

#include "track_session.hpp"

namespace zok_gst {

// What the element says about one frame, in the two forms it says it: a ZokTrackMeta on the
// buffer (which must be writable) and the structure of its "zoktrack" element message. Both
// carry the same values; `frame` counts from the stream's start.
void attachReport(GstBuffer* buffer, const FrameReport& report, guint64 frame);
GstStructure* reportStructure(const FrameReport& report, guint64 frame, GstClockTime timestamp);

} // namespace zok_gst
