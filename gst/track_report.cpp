#include "track_report.hpp"

#include <algorithm>

#include "track_meta.hpp"

namespace zok_gst {

void attachReport(GstBuffer* buffer, const FrameReport& report, guint64 frame) {
    ZokTrackMeta* meta = addTrackMeta(buffer);
    meta->found = report.found;
    meta->started = report.started;
    meta->x = report.box.x;
    meta->y = report.box.y;
    meta->width = report.box.width;
    meta->height = report.box.height;
    meta->offset_x = report.offset.x;
    meta->offset_y = report.offset.y;
    meta->confidence = report.confidence;
    meta->n_scores = guint(std::min<size_t>(report.scores.size(), ZOK_TRACK_META_MAX_SCORES));
    std::copy_n(report.scores.begin(), meta->n_scores, meta->scores);
    meta->frame = frame;
    meta->update_ns = guint64(report.updateNs);
}

GstStructure* reportStructure(const FrameReport& report, guint64 frame, GstClockTime timestamp) {
    GstStructure* structure = gst_structure_new(
        "zoktrack", "frame", G_TYPE_UINT64, frame, "timestamp", G_TYPE_UINT64, timestamp, "found",
        G_TYPE_BOOLEAN, gboolean(report.found), "started", G_TYPE_BOOLEAN, gboolean(report.started),
        "x", G_TYPE_INT, report.box.x, "y", G_TYPE_INT, report.box.y, "width", G_TYPE_INT,
        report.box.width, "height", G_TYPE_INT, report.box.height, "offset-x", G_TYPE_INT,
        report.offset.x, "offset-y", G_TYPE_INT, report.offset.y, "confidence", G_TYPE_DOUBLE,
        report.confidence, "update-ns", G_TYPE_UINT64, guint64(report.updateNs), nullptr);
    GValue scores = G_VALUE_INIT;
    g_value_init(&scores, GST_TYPE_ARRAY);
    for (const double score : report.scores) {
        GValue item = G_VALUE_INIT;
        g_value_init(&item, G_TYPE_DOUBLE);
        g_value_set_double(&item, score);
        gst_value_array_append_and_take_value(&scores, &item);
    }
    gst_structure_take_value(structure, "scores", &scores);
    return structure;
}

} // namespace zok_gst
