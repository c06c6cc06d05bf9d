// The element zoktrack: an in-place video filter that follows one target through the frames
// with a zok tracker, and reports on each frame where the target is and how far its centre lies
// from the frame's centre.
#include "zoktrack.hpp"

#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <gst/video/video.h>
#include <opencv2/imgproc.hpp>

#include "recommended_config.hpp"
#include "requests.hpp"
#include "start_request.hpp"
#include "track_drawing.hpp"
#include "track_meta.hpp"
#include "track_report.hpp"
#include "track_session.hpp"

GST_DEBUG_CATEGORY_STATIC(gst_zok_track_debug);
#define GST_CAT_DEFAULT gst_zok_track_debug

namespace {

using zok_gst::Command;
using zok_gst::FrameReport;
using zok_gst::StartRequest;
using zok_gst::TrackerKind;
using zok_gst::TrackerSettings;

struct ElementState {
    // Under the object lock: the properties and what other threads ask for.
    std::string box, offset, halfSize, configPath;
    bool offsetLast = false; // offset and half-size were completed after box was set
    TrackerSettings settings;
    bool draw = false;
    Command command;
    std::vector<std::string> deferredWarnings; // refusals made before the element had a bus

    // The streaming thread's own.
    zok_gst::TrackSession session;
    guint64 frame = 0;
    cv::Mat bgr; // BGRx frames without their padding byte
};

enum Property {
    PROP_0,
    PROP_TRACKER,
    PROP_CONFIG,
    PROP_BOX,
    PROP_OFFSET,
    PROP_HALF_SIZE,
    PROP_RESET,
    PROP_DRAW,
};

const char* const kFormats = "{ BGR, BGRx, GRAY8 }";

} // namespace

struct _GstZokTrack {
    GstVideoFilter parent;
    ElementState* state;
};

G_DEFINE_TYPE(GstZokTrack, gst_zok_track, GST_TYPE_VIDEO_FILTER)

GType gst_zok_track_tracker_get_type(void) {
    static GType type = 0;
    static std::once_flag once;
    std::call_once(once, [] {
        static const GEnumValue values[] = {
            {int(TrackerKind::CORR), "The correlation tracker TrackerCorr", "corr"},
            {int(TrackerKind::DCF), "The learned correlation-filter tracker TrackerDcf", "dcf"},
            {0, nullptr, nullptr},
        };
        type = g_enum_register_static("GstZokTrackTracker", values);
    });
    return type;
}

namespace {

ElementState& stateOf(gpointer object) {
    return *GST_ZOK_TRACK(object)->state;
}

TrackerSettings recommendedSettings() {
    TrackerSettings settings;
    settings.config.trackerCorr = zok_track::recommendedParams();
    return settings;
}

// A value refused by a property: a warning on the bus, or, before the element has a bus, when
// it gets one (as it starts). The property keeps its previous value. A warning and not an error:
// a bad value is the caller's mistake, not a failure of the stream, and an error posted while
// the pipeline changes state would fail that change and stall the stream.
void refuse(GstZokTrack* self, const std::string& text) {
    GstBus* bus = gst_element_get_bus(GST_ELEMENT(self));
    if (bus == nullptr) {
        GST_WARNING_OBJECT(self, "%s", text.c_str());
        GST_OBJECT_LOCK(self);
        self->state->deferredWarnings.push_back(text);
        GST_OBJECT_UNLOCK(self);
        return;
    }
    gst_object_unref(bus);
    GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("%s", text.c_str()), (nullptr));
}

// The start that the box, or the offset and half-size, properties describe: of the two, the one
// set last. Object lock held.
std::optional<StartRequest> startFromProperties(const ElementState& state) {
    std::string why;
    const bool offsetSet = !state.offset.empty() && !state.halfSize.empty();
    if (!state.box.empty() && !(offsetSet && state.offsetLast)) {
        return StartRequest{false, *zok_gst::parseBox(state.box, why), {}, {}};
    }
    if (offsetSet) {
        return StartRequest{true,
                            {},
                            *zok_gst::parseOffset(state.offset, why),
                            *zok_gst::parseHalfSize(state.halfSize, why)};
    }
    return std::nullopt;
}

// Sets one of the start properties after checking its text; an empty text clears it.
template <typename Parse>
void setStartProperty(GstZokTrack* self, const char* name, const GValue* value,
                      std::string ElementState::*field, Parse parse) {
    const char* text = g_value_get_string(value);
    const std::string wanted = text == nullptr ? "" : text;
    std::string why;
    if (!wanted.empty() && !parse(wanted, why)) {
        refuse(self, std::string("invalid value for ") + name + ": '" + wanted + "' (" + why + ")");
        return;
    }
    GST_OBJECT_LOCK(self);
    ElementState& state = *self->state;
    state.*field = wanted;
    if (!wanted.empty()) {
        const bool box = field == &ElementState::box;
        if (box || (!state.offset.empty() && !state.halfSize.empty())) {
            state.offsetLast = !box;
            state.command = {Command::START, *startFromProperties(state)};
        }
    }
    GST_OBJECT_UNLOCK(self);
}

void setConfig(GstZokTrack* self, const GValue* value) {
    const char* text = g_value_get_string(value);
    const std::string path = text == nullptr ? "" : text;
    TrackerSettings settings = recommendedSettings();
    if (!path.empty()) {
        // The library's defaults overlaid by the file, as zok-track takes a --config file. The
        // file is read here, in the thread that sets the property, never while streaming.
        settings.config = wyr::zok::ZokConfig();
        if (!settings.config.LoadFromJson(path.c_str())) {
            refuse(self, "invalid value for config: the configuration file '" + path +
                             "' was refused (the reason is on standard error)");
            return;
        }
    }
    GST_OBJECT_LOCK(self);
    settings.kind = self->state->settings.kind;
    self->state->settings = std::move(settings);
    self->state->configPath = path;
    GST_OBJECT_UNLOCK(self);
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* param) {
    GstZokTrack* self = GST_ZOK_TRACK(object);
    ElementState& state = *self->state;
    switch (id) {
    case PROP_TRACKER:
        GST_OBJECT_LOCK(self);
        state.settings.kind = TrackerKind(g_value_get_enum(value));
        GST_OBJECT_UNLOCK(self);
        break;
    case PROP_CONFIG:
        setConfig(self, value);
        break;
    case PROP_BOX:
        setStartProperty(self, "box", value, &ElementState::box,
                         [](const std::string& t, std::string& why) {
                             return zok_gst::parseBox(t, why).has_value();
                         });
        break;
    case PROP_OFFSET:
        setStartProperty(self, "offset", value, &ElementState::offset,
                         [](const std::string& t, std::string& why) {
                             return zok_gst::parseOffset(t, why).has_value();
                         });
        break;
    case PROP_HALF_SIZE:
        setStartProperty(self, "half-size", value, &ElementState::halfSize,
                         [](const std::string& t, std::string& why) {
                             return zok_gst::parseHalfSize(t, why).has_value();
                         });
        break;
    case PROP_RESET:
        if (g_value_get_boolean(value)) {
            GST_OBJECT_LOCK(self);
            state.command = {Command::DROP, {}};
            GST_OBJECT_UNLOCK(self);
        }
        break;
    case PROP_DRAW:
        GST_OBJECT_LOCK(self);
        state.draw = g_value_get_boolean(value);
        GST_OBJECT_UNLOCK(self);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
    }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* param) {
    GstZokTrack* self = GST_ZOK_TRACK(object);
    const ElementState& state = *self->state;
    auto setString = [value](const std::string& s) {
        g_value_set_string(value, s.empty() ? nullptr : s.c_str());
    };
    GST_OBJECT_LOCK(self);
    switch (id) {
    case PROP_TRACKER:
        g_value_set_enum(value, int(state.settings.kind));
        break;
    case PROP_CONFIG:
        setString(state.configPath);
        break;
    case PROP_BOX:
        setString(state.box);
        break;
    case PROP_OFFSET:
        setString(state.offset);
        break;
    case PROP_HALF_SIZE:
        setString(state.halfSize);
        break;
    case PROP_RESET:
        g_value_set_boolean(value, FALSE);
        break;
    case PROP_DRAW:
        g_value_set_boolean(value, state.draw);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
    }
    GST_OBJECT_UNLOCK(self);
}

// A request carried by an event or an application message. Returns nothing for a structure of
// another name; a refused request gives a warning and false.
std::optional<bool> takeRequest(GstZokTrack* self, const GstStructure* structure) {
    if (!zok_gst::isRequest(structure)) {
        return std::nullopt;
    }
    std::string why;
    const std::optional<Command> command = zok_gst::parseRequest(structure, why);
    if (!command) {
        gchar* text = gst_structure_to_string(structure);
        GST_ELEMENT_WARNING(self, STREAM, FAILED,
                            ("refused start request %s: %s", text, why.c_str()), (nullptr));
        g_free(text);
        return false;
    }
    GST_OBJECT_LOCK(self);
    self->state->command = *command;
    GST_OBJECT_UNLOCK(self);
    return true;
}

std::optional<bool> takeRequestEvent(GstZokTrack* self, GstEvent* event) {
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CUSTOM_UPSTREAM:
    case GST_EVENT_CUSTOM_DOWNSTREAM:
    case GST_EVENT_CUSTOM_DOWNSTREAM_OOB:
    case GST_EVENT_CUSTOM_DOWNSTREAM_STICKY:
    case GST_EVENT_CUSTOM_BOTH:
    case GST_EVENT_CUSTOM_BOTH_OOB:
        return takeRequest(self, gst_event_get_structure(event));
    default:
        return std::nullopt;
    }
}

gboolean sinkEvent(GstBaseTransform* trans, GstEvent* event) {
    // Requests end here: they are meant for this element, not for another tracker downstream.
    if (const std::optional<bool> taken = takeRequestEvent(GST_ZOK_TRACK(trans), event)) {
        gst_event_unref(event);
        return *taken;
    }
    return GST_BASE_TRANSFORM_CLASS(gst_zok_track_parent_class)->sink_event(trans, event);
}

gboolean srcEvent(GstBaseTransform* trans, GstEvent* event) {
    if (const std::optional<bool> taken = takeRequestEvent(GST_ZOK_TRACK(trans), event)) {
        gst_event_unref(event);
        return *taken;
    }
    return GST_BASE_TRANSFORM_CLASS(gst_zok_track_parent_class)->src_event(trans, event);
}

// An application hands a request to the element by posting it through the element:
// gst_element_post_message(zoktrack, gst_message_new_application(...)). Those messages stop
// here; every other message goes on to the bus.
gboolean postMessage(GstElement* element, GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION) {
        if (const std::optional<bool> taken =
                takeRequest(GST_ZOK_TRACK(element), gst_message_get_structure(message))) {
            gst_message_unref(message);
            return *taken;
        }
    }
    return GST_ELEMENT_CLASS(gst_zok_track_parent_class)->post_message(element, message);
}

gboolean acceptCaps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps) {
    const gboolean accepted =
        GST_BASE_TRANSFORM_CLASS(gst_zok_track_parent_class)->accept_caps(trans, direction, caps);
    if (!accepted && direction == GST_PAD_SINK) {
        gchar* text = gst_caps_to_string(caps);
        GST_ELEMENT_WARNING(trans, CORE, NEGOTIATION,
                            ("zoktrack cannot take %s: it takes video/x-raw in the formats %s "
                             "(put videoconvert before it)",
                             text, kFormats),
                            (nullptr));
        g_free(text);
    }
    return accepted;
}

gboolean setInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in, GstCaps*, GstVideoInfo*) {
    ElementState& state = stateOf(filter);
    const cv::Size size(GST_VIDEO_INFO_WIDTH(in), GST_VIDEO_INFO_HEIGHT(in));
    const int type = GST_VIDEO_INFO_FORMAT(in) == GST_VIDEO_FORMAT_GRAY8 ? CV_8UC1 : CV_8UC3;
    if (state.session.reformat(size, type)) {
        GST_INFO_OBJECT(filter, "frames now %d x %d: the track restarts at its box scaled to them",
                        size.width, size.height);
    }
    return TRUE;
}

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition) {
    GstZokTrack* self = GST_ZOK_TRACK(element);
    ElementState& state = *self->state;
    if (transition == GST_STATE_CHANGE_NULL_TO_READY) {
        GST_OBJECT_LOCK(self);
        const std::vector<std::string> warnings = std::move(state.deferredWarnings);
        state.deferredWarnings.clear();
        GST_OBJECT_UNLOCK(self);
        for (const std::string& text : warnings) {
            GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("%s", text.c_str()), (nullptr));
        }
    } else if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
        // Streaming has not started: the session is free to touch. Each stream starts from
        // the start properties, if any.
        state.session.drop();
        state.frame = 0;
        GST_OBJECT_LOCK(self);
        if (state.command.kind == Command::NONE) {
            if (const std::optional<StartRequest> start = startFromProperties(state)) {
                state.command = {Command::START, *start};
            }
        }
        GST_OBJECT_UNLOCK(self);
    }
    return GST_ELEMENT_CLASS(gst_zok_track_parent_class)->change_state(element, transition);
}

// Tracks on the mapped frame and draws on it when asked.
FrameReport trackFrame(ElementState& state, GstVideoFrame& frame, bool draw, guint64 index) {
    const GstVideoFormat format = GST_VIDEO_FRAME_FORMAT(&frame);
    const int type = format == GST_VIDEO_FORMAT_GRAY8  ? CV_8UC1
                     : format == GST_VIDEO_FORMAT_BGRx ? CV_8UC4
                                                       : CV_8UC3;
    cv::Mat view(GST_VIDEO_FRAME_HEIGHT(&frame), GST_VIDEO_FRAME_WIDTH(&frame), type,
                 GST_VIDEO_FRAME_PLANE_DATA(&frame, 0),
                 size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0)));
    const cv::Mat* input = &view;
    if (type == CV_8UC4) {
        // The padding byte holds whatever the producer left there; it must not count as a
        // channel of the target.
        cv::cvtColor(view, state.bgr, cv::COLOR_BGRA2BGR);
        input = &state.bgr;
    }
    FrameReport report = state.session.process(*input, draw);
    if (draw && report.tracking) {
        char label[96];
        std::snprintf(label, sizeof label, "frame %llu  offset (%d, %d)%s",
                      static_cast<unsigned long long>(index), report.offset.x, report.offset.y,
                      report.found ? "" : "  LOST");
        zok_track::drawTrack(
            view, {report.found, report.box, report.offset, report.window, label, view.size()});
    }
    return report;
}

GstFlowReturn transformIp(GstBaseTransform* trans, GstBuffer* buffer) {
    GstZokTrack* self = GST_ZOK_TRACK(trans);
    GstVideoFilter* filter = GST_VIDEO_FILTER(trans);
    ElementState& state = *self->state;
    if (!filter->negotiated) {
        return GST_FLOW_NOT_NEGOTIATED;
    }
    try {
        GST_OBJECT_LOCK(self);
        const Command command = state.command;
        state.command = {};
        const bool draw = state.draw;
        std::optional<TrackerSettings> settings;
        if (command.kind == Command::START) {
            settings = state.settings;
        }
        GST_OBJECT_UNLOCK(self);
        if (command.kind == Command::START) {
            state.session.requestStart(command.start, *settings);
        } else if (command.kind == Command::DROP) {
            state.session.drop();
        }
        const guint64 index = state.frame++;
        if (!state.session.active()) {
            return GST_FLOW_OK;
        }

        GstVideoFrame frame;
        const GstMapFlags flags = GstMapFlags(GST_MAP_READ | (draw ? GST_MAP_WRITE : 0));
        if (!gst_video_frame_map(&frame, &filter->in_info, buffer, flags)) {
            GST_ELEMENT_ERROR(self, STREAM, FAILED, ("could not map a frame"), (nullptr));
            return GST_FLOW_ERROR;
        }
        FrameReport report;
        try {
            report = trackFrame(state, frame, draw, index);
        } catch (...) {
            gst_video_frame_unmap(&frame);
            throw;
        }
        gst_video_frame_unmap(&frame);
        if (!report.tracking) {
            return GST_FLOW_OK;
        }
        if (!report.warning.empty()) {
            GST_ELEMENT_WARNING(self, STREAM, FAILED, ("%s", report.warning.c_str()), (nullptr));
        }
        zok_gst::attachReport(buffer, report, index);
        GstStructure* message = zok_gst::reportStructure(report, index, GST_BUFFER_PTS(buffer));
        gst_element_post_message(GST_ELEMENT(self),
                                 gst_message_new_element(GST_OBJECT(self), message));
        return GST_FLOW_OK;
    } catch (const std::exception& error) {
        // Nothing may unwind into GStreamer's C code.
        state.session.drop();
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("tracking failed: %s", error.what()), (nullptr));
        return GST_FLOW_ERROR;
    }
}

void finalize(GObject* object) {
    delete GST_ZOK_TRACK(object)->state;
    G_OBJECT_CLASS(gst_zok_track_parent_class)->finalize(object);
}

GParamFlags flags() {
    return GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);
}

} // namespace

static void gst_zok_track_class_init(GstZokTrackClass* klass) {
    GST_DEBUG_CATEGORY_INIT(gst_zok_track_debug, "zoktrack", 0, "zok target tracker");
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* base = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* video = GST_VIDEO_FILTER_CLASS(klass);

    object->set_property = setProperty;
    object->get_property = getProperty;
    object->finalize = finalize;

    g_object_class_install_property(
        object, PROP_TRACKER,
        g_param_spec_enum("tracker", "Tracker", "The tracker; a change applies from the next start",
                          GST_TYPE_ZOK_TRACK_TRACKER, int(zok_gst::kDefaultTracker), flags()));
    g_object_class_install_property(
        object, PROP_CONFIG,
        g_param_spec_string("config", "Configuration file",
                            "A JSON configuration file over the library's defaults, as "
                            "zok-track --config: tracker=corr takes its \"TrackerCorr\" section, "
                            "tracker=dcf its \"TrackerDcf\" section. Without a file corr runs "
                            "the recommended configuration, dcf its defaults. A refused file "
                            "gives a warning and keeps the previous one; a change applies from "
                            "the next start",
                            nullptr, flags()));
    g_object_class_install_property(
        object, PROP_BOX,
        g_param_spec_string("box", "Start box",
                            "x,y,width,height of the target in pixels; setting it (re)starts "
                            "the track on the next frame",
                            nullptr, flags()));
    g_object_class_install_property(
        object, PROP_OFFSET,
        g_param_spec_string("offset", "Start offset",
                            "x,y of the target's centre from the frame's centre in pixels; with "
                            "half-size it (re)starts the track on the next frame",
                            nullptr, flags()));
    g_object_class_install_property(
        object, PROP_HALF_SIZE,
        g_param_spec_string("half-size", "Start half-size",
                            "half-width,half-height in pixels of the box around offset: "
                            "2 * half + 1 pixels each way",
                            nullptr, flags()));
    g_object_class_install_property(object, PROP_RESET,
                                    g_param_spec_boolean("reset", "Reset",
                                                         "Setting it to true drops the track",
                                                         FALSE, flags()));
    g_object_class_install_property(
        object, PROP_DRAW,
        g_param_spec_boolean("draw", "Draw",
                             "Draw the box, the search window and the offset on the frames", FALSE,
                             flags()));

    gst_element_class_set_static_metadata(
        element, "zok target tracker", "Filter/Analyzer/Video",
        "Follows one target through the frames and reports its box and its centre's offset from "
        "the frame's centre, as a buffer meta and an element message per frame",
        ZOK_ELEMENT_AUTHOR);
    GstCaps* caps = gst_caps_from_string(GST_VIDEO_CAPS_MAKE("{ BGR, BGRx, GRAY8 }"));
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
    element->change_state = changeState;
    element->post_message = postMessage;

    // In place, and never in passthrough: the meta needs a writable buffer. The pixels are
    // mapped for writing only while drawing, so they are not copied otherwise.
    base->passthrough_on_same_caps = FALSE;
    base->transform_ip_on_passthrough = FALSE;
    base->transform_ip = transformIp;
    base->sink_event = sinkEvent;
    base->src_event = srcEvent;
    base->accept_caps = acceptCaps;
    video->set_info = setInfo;

    gst_type_mark_as_plugin_api(GST_TYPE_ZOK_TRACK_TRACKER, GstPluginAPIFlags(0));
    zok_gst::trackMetaInfo();
}

static void gst_zok_track_init(GstZokTrack* self) {
    self->state = new ElementState;
    self->state->settings = recommendedSettings();
    gst_base_transform_set_in_place(GST_BASE_TRANSFORM(self), TRUE);
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(self), FALSE);
}
