#include "track_meta.hpp"

#include <cstring>

#include <gst/video/video.h>

namespace zok_gst {

namespace {

gboolean initMeta(GstMeta* meta, gpointer, GstBuffer*) {
    auto* track = reinterpret_cast<ZokTrackMeta*>(meta);
    // Everything after the GstMeta header is ours and starts zeroed.
    std::memset(reinterpret_cast<char*>(track) + sizeof(GstMeta), 0,
                sizeof(ZokTrackMeta) - sizeof(GstMeta));
    return TRUE;
}

// Only plain copies keep the meta: a box describes the pixels of this frame, so a transform
// that scales or crops them (which GStreamer hands over with its own transform type) drops it.
gboolean transformMeta(GstBuffer* destination, GstMeta* meta, GstBuffer*, GQuark type, gpointer) {
    if (!GST_META_TRANSFORM_IS_COPY(type)) {
        return FALSE;
    }
    ZokTrackMeta* copy = addTrackMeta(destination);
    if (copy == nullptr) {
        return FALSE;
    }
    std::memcpy(reinterpret_cast<char*>(copy) + sizeof(GstMeta),
                reinterpret_cast<const char*>(meta) + sizeof(GstMeta),
                sizeof(ZokTrackMeta) - sizeof(GstMeta));
    return TRUE;
}

GType registerApi() {
    // The tags make elements that change the frame's size or orientation drop the meta.
    static const gchar* tags[] = {GST_META_TAG_VIDEO_STR, GST_META_TAG_VIDEO_SIZE_STR,
                                  GST_META_TAG_VIDEO_ORIENTATION_STR, nullptr};
    return gst_meta_api_type_register("ZokTrackMetaAPI", tags);
}

} // namespace

const GstMetaInfo* trackMetaInfo() {
    static const GstMetaInfo* const info = gst_meta_register(
        registerApi(), "ZokTrackMeta", sizeof(ZokTrackMeta), initMeta, nullptr, transformMeta);
    return info;
}

ZokTrackMeta* addTrackMeta(GstBuffer* buffer) {
    return reinterpret_cast<ZokTrackMeta*>(gst_buffer_add_meta(buffer, trackMetaInfo(), nullptr));
}

} // namespace zok_gst
