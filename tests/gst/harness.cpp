#include "harness.hpp"

#include <stdexcept>

#include <gtest/gtest.h>

#include "zoktrack.hpp"

namespace zok_gst_test {

namespace {

int typeOf(const GstVideoInfo& info) {
    return typeOfFormat(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)));
}

// Registers the element in this process once, as the plugin does when it is loaded.
class GstEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(gst_element_register(nullptr, "zoktrack", GST_RANK_NONE, GST_TYPE_ZOK_TRACK));
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new GstEnvironment);

} // namespace

TrackHarness::TrackHarness() : h_(gst_harness_new("zoktrack")), bus_(gst_bus_new()) {
    gst_element_set_bus(h_->element, bus_);
    gst_video_info_init(&info_);
}

TrackHarness::~TrackHarness() {
    for (GstStructure* s : takeReports()) {
        gst_structure_free(s);
    }
    gst_element_set_bus(h_->element, nullptr);
    gst_harness_teardown(h_);
    gst_object_unref(bus_);
}

void TrackHarness::setCaps(const std::string& caps) {
    GstCaps* parsed = gst_caps_from_string(caps.c_str());
    if (!gst_video_info_from_caps(&info_, parsed)) {
        gst_caps_unref(parsed);
        throw std::invalid_argument("not video caps: " + caps);
    }
    gst_harness_set_src_caps(h_, parsed);
}

cv::Mat TrackHarness::pushFrame(const cv::Mat& frame, bool& hadMeta, ZokTrackMeta& meta) {
    const int type = typeOf(info_);
    if (frame.type() != type || frame.cols != GST_VIDEO_INFO_WIDTH(&info_) ||
        frame.rows != GST_VIDEO_INFO_HEIGHT(&info_)) {
        throw std::invalid_argument("the frame does not fit the caps");
    }
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info_), nullptr);
    GstVideoFrame mapped;
    gst_video_frame_map(&mapped, &info_, buffer, GST_MAP_WRITE);
    frame.copyTo(cv::Mat(frame.size(), type, GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0),
                         size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0))));
    gst_video_frame_unmap(&mapped);

    if (gst_harness_push(h_, buffer) != GST_FLOW_OK) {
        throw std::runtime_error("the element refused a frame");
    }
    return pull(hadMeta, meta);
}

cv::Mat TrackHarness::pull(bool& hadMeta, ZokTrackMeta& meta) {
    const int type = typeOf(info_);
    GstVideoFrame mapped;
    GstBuffer* out = gst_harness_pull(h_);
    if (out == nullptr) {
        throw std::runtime_error("the element passed no buffer on");
    }
    const ZokTrackMeta* found = gst_buffer_get_zok_track_meta(out);
    hadMeta = found != nullptr;
    if (found != nullptr) {
        meta = *found;
    }
    gst_video_frame_map(&mapped, &info_, out, GST_MAP_READ);
    const cv::Mat result = cv::Mat(GST_VIDEO_INFO_HEIGHT(&info_), GST_VIDEO_INFO_WIDTH(&info_),
                                   type, GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0),
                                   size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0)))
                               .clone();
    gst_video_frame_unmap(&mapped);
    gst_buffer_unref(out);
    return result;
}

std::vector<GstStructure*> TrackHarness::takeReports() {
    std::vector<GstStructure*> reports;
    while (GstMessage* message = gst_bus_pop_filtered(bus_, GST_MESSAGE_ELEMENT)) {
        const GstStructure* s = gst_message_get_structure(message);
        if (s != nullptr && gst_structure_has_name(s, "zoktrack")) {
            reports.push_back(gst_structure_copy(s));
        }
        gst_message_unref(message);
    }
    return reports;
}

std::vector<std::string> TrackHarness::takeTexts(GstMessageType type) {
    const Problems problems = takeProblems();
    return type == GST_MESSAGE_ERROR ? problems.errors : problems.warnings;
}

TrackHarness::Problems TrackHarness::takeProblems() {
    Problems problems;
    const auto types = GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING);
    while (GstMessage* message = gst_bus_pop_filtered(bus_, types)) {
        GError* error = nullptr;
        gchar* debug = nullptr;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            gst_message_parse_error(message, &error, &debug);
            problems.errors.emplace_back(error->message);
        } else {
            gst_message_parse_warning(message, &error, &debug);
            problems.warnings.emplace_back(error->message);
        }
        g_error_free(error);
        g_free(debug);
        gst_message_unref(message);
    }
    return problems;
}

} // namespace zok_gst_test
