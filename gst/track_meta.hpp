#pragma once

#include <gst/gst.h>

#include "zok/zoktrack_meta.h"

namespace zok_gst {

// Registers the meta's API type and implementation on first use (thread-safe) and returns the
// implementation that gst_buffer_add_meta takes.
const GstMetaInfo* trackMetaInfo();

// Adds an empty ZokTrackMeta to `buffer`, which must be writable.
ZokTrackMeta* addTrackMeta(GstBuffer* buffer);

} // namespace zok_gst
