#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>

namespace zok_track {

inline const char* const kSyntheticInput = "synthetic";

struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Frames of a video file, a camera or a folder of numbered images, always as 8-bit BGR so that
// every frame has the first frame's type.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    // The next frame; false at the end of the input. Throws InputError when a frame that should
    // be there cannot be read.
    virtual bool read(cv::Mat& frame) = 0;

    // The number of frames the input announces, when it does (files and folders).
    virtual std::optional<int> announcedFrames() const = 0;

    // The input's frame rate, or 0 when it has none (folders) or does not say.
    virtual double framesPerSecond() const = 0;

    // Where the target truly is in the frame read last, for inputs that know (generated ones).
    virtual std::optional<cv::Rect> truth() const { return std::nullopt; }

    // Whether frames come as they are made (cameras, pipelines), rather than from storage at
    // whatever pace they are read.
    virtual bool live() const { return false; }

    // `input`: "synthetic" (a generated sequence with known truth), a camera index, a folder or
    // a video file. Throws InputError when it cannot be opened.
    static std::unique_ptr<FrameSource> open(const std::string& input);

    // A GStreamer pipeline description ending in an appsink, such as
    // "udpsrc port=5600 ! application/x-rtp,encoding-name=H264 ! rtph264depay ! avdec_h264 !
    // videoconvert ! appsink". Throws InputError when OpenCV has no GStreamer backend or the
    // pipeline does not start.
    static std::unique_ptr<FrameSource> openPipeline(const std::string& description);
};

} // namespace zok_track
