#pragma once

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define GST_TYPE_ZOK_TRACK (gst_zok_track_get_type())
G_DECLARE_FINAL_TYPE(GstZokTrack, gst_zok_track, GST, ZOK_TRACK, GstVideoFilter)

// The values of the "tracker" property.
#define GST_TYPE_ZOK_TRACK_TRACKER (gst_zok_track_tracker_get_type())
GType gst_zok_track_tracker_get_type(void);

G_END_DECLS
