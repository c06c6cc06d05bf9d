#pragma once

#include <string>

#include <opencv2/videoio.hpp>

#include "pending_file.hpp"
#include "result_writer.hpp"

namespace zok_track {

// Writes the tracked frames to a video with the box (green when found, red when lost), the
// window of the frame's first search and the offset from the image centre drawn on them.
class Annotator {
public:
    // The codec follows the extension: MJPG for .avi, MPEG-4 for .mp4.
    Annotator(const std::string& path, double fps, const cv::Size& frameSize);

    void write(const cv::Mat& frame, const FrameResult& result, const cv::Rect& searchWindow);
    void commit();

private:
    PendingFile file_;
    cv::VideoWriter writer_;
    cv::Size frameSize_;
};

} // namespace zok_track
