#include "annotator.hpp"

#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "track_drawing.hpp"

namespace zok_track {

namespace {

int fourccFor(const std::string& path) {
    const std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    if (extension == ".mp4") {
        return cv::VideoWriter::fourcc('m', 'p', '4', 'v');
    }
    if (extension == ".avi") {
        return cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
    }
    throw OutputError("cannot write '" + path + "': the annotated video must be .avi or .mp4");
}

} // namespace

Annotator::Annotator(const std::string& path, double fps, const cv::Size& frameSize)
    : file_(path), frameSize_(frameSize) {
    const int fourcc = fourccFor(path);
    if (!writer_.open(file_.writePath(), fourcc, fps > 0 ? fps : 25.0, frameSize, true)) {
        throw OutputError("cannot write '" + path + "': no video writer for it");
    }
}

void Annotator::write(const cv::Mat& frame, const FrameResult& result,
                      const cv::Rect& searchWindow) {
    cv::Mat canvas;
    if (frame.size() == frameSize_) {
        canvas = frame.clone();
    } else {
        cv::resize(frame, canvas, frameSize_);
    }
    char label[96];
    std::snprintf(label, sizeof label, "frame %d  offset (%d, %d)%s", result.frame, result.offset.x,
                  result.offset.y, result.found ? "" : "  LOST");
    drawTrack(canvas, {result.found, result.box, result.offset, searchWindow, label, frame.size()});
    writer_.write(canvas);
}

void Annotator::commit() {
    writer_.release();
    file_.commit();
}

} // namespace zok_track
