#include "ball_frames.hpp"

#include <stdexcept>

#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <opencv2/imgproc.hpp>

namespace zok_gst_test {

int typeOfFormat(const std::string& format) {
    return format == "GRAY8" ? CV_8UC1 : format == "BGRx" ? CV_8UC4 : CV_8UC3;
}

std::vector<cv::Mat> ballFrames(const std::string& caps, int count) {
    GstVideoInfo info;
    GstCaps* parsed = gst_caps_from_string(caps.c_str());
    const bool video = gst_video_info_from_caps(&info, parsed);
    gst_caps_unref(parsed);
    if (!video) {
        throw std::invalid_argument("not video caps: " + caps);
    }
    GstHarness* source = gst_harness_new_parse(
        ("videotestsrc pattern=ball ! capsfilter caps=\"" + caps + "\"").c_str());
    gst_harness_play(source);
    std::vector<cv::Mat> frames;
    for (int k = 0; k < count; ++k) {
        GstBuffer* buffer = gst_harness_pull(source);
        GstVideoFrame mapped;
        gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ);
        frames.push_back(
            cv::Mat(GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_WIDTH(&info),
                    typeOfFormat(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info))),
                    GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0),
                    size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0)))
                .clone());
        gst_video_frame_unmap(&mapped);
        gst_buffer_unref(buffer);
    }
    gst_harness_teardown(source);
    return frames;
}

cv::Rect brightBox(const cv::Mat& frame) {
    cv::Mat grey;
    if (frame.channels() == 1) {
        grey = frame;
    } else {
        cv::cvtColor(frame, grey, frame.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
    }
    std::vector<cv::Point> bright;
    cv::findNonZero(grey > 127, bright);
    return bright.empty() ? cv::Rect() : cv::boundingRect(bright);
}

} // namespace zok_gst_test
