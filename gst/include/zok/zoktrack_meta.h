/* The result that the GStreamer element zoktrack attaches to every buffer it tracks on.
 *
 * Readers need only this header and GStreamer's: the meta's API type is registered by the
 * plugin under the name "ZokTrackMetaAPI" and looked up here by that name, so there is no
 * library to link. Before the plugin is loaded (before a zoktrack element has been made in the
 * process) the lookup finds nothing and gst_buffer_get_zok_track_meta() returns NULL.
 *
 * Every buffer from the frame a track starts on to the frame it ends on carries exactly one
 * ZokTrackMeta; buffers that pass while no track is set carry none. The meta is copied with the
 * buffer but dropped by elements that change the frame's size or orientation, whose boxes it
 * would no longer describe. */
#ifndef ZOK_ZOKTRACK_META_H
#define ZOK_ZOKTRACK_META_H

#include <gst/gst.h>

G_BEGIN_DECLS

/* The most search scores a meta holds; later ones are left out (n_scores stops at this). */
#define ZOK_TRACK_META_MAX_SCORES 8

typedef struct {
    GstMeta meta;

    /* TRUE when the tracker found the target in this frame, and on the frame its track
     * started. FALSE while it is lost, and on a frame whose start box was refused. */
    gboolean found;
    /* TRUE on the frame the track was (re)started on, from a property, an event, a message or
     * a change of frame size. */
    gboolean started;
    /* The target's box in pixels of this frame. While lost: the last box found. */
    gint x, y, width, height;
    /* The offset of the box's centre pixel (x + width / 2, y + height / 2, rounded down) from
     * the frame's centre pixel (its width / 2, height / 2): x to the right, y downwards. */
    gint offset_x, offset_y;
    /* How sure the tracker is. 1.0 on the frame a track starts. The correlation tracker gives
     * the score of its deciding search (the last one it made), the learned tracker its own
     * confidence. Higher is surer. */
    gdouble confidence;
    /* The correlation tracker's search scores of this frame, in the order made; none for other
     * trackers and on the frame a track starts. */
    guint n_scores;
    gdouble scores[ZOK_TRACK_META_MAX_SCORES];
    /* Index of the frame in the stream, counted from 0 since the element last started. */
    guint64 frame;
    /* Time the tracker took on this frame (its start or update), in nanoseconds. */
    guint64 update_ns;
} ZokTrackMeta;

/* The meta's API type; 0 until the plugin is loaded. */
static inline GType zok_track_meta_api_get_type(void) {
    return g_type_from_name("ZokTrackMetaAPI");
}

/* The buffer's ZokTrackMeta, or NULL when it has none. */
static inline ZokTrackMeta* gst_buffer_get_zok_track_meta(GstBuffer* buffer) {
    const GType api = zok_track_meta_api_get_type();
    return api == 0 ? NULL : (ZokTrackMeta*)gst_buffer_get_meta(buffer, api);
}

G_END_DECLS

#endif /* ZOK_ZOKTRACK_META_H */
