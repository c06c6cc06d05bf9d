#include <gst/gst.h>

#include "zoktrack.hpp"

namespace {

gboolean initPlugin(GstPlugin* plugin) {
    return gst_element_register(plugin, "zoktrack", GST_RANK_NONE, GST_TYPE_ZOK_TRACK);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, zok,
                  "Target tracking with zok: where the target is, and where to steer", initPlugin,
                  ZOK_VERSION, ZOK_PLUGIN_LICENSE, "zok", ZOK_PACKAGE_ORIGIN)
