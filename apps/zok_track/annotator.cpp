#include "annotator.hpp"

#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "geometry/geometry.hpp"

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
    if (!writer_.open(file_.temporaryPath(), fourcc, fps > 0 ? fps : 25.0, frameSize, true)) {
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
    const cv::Scalar yellow(0, 220, 255), green(0, 220, 0), red(0, 0, 255), white(255, 255, 255);
    const cv::Point centre = wyr::zok::imageCentre(frame.size());
    if (!searchWindow.empty()) {
        cv::rectangle(canvas, searchWindow, yellow, 1);
    }
    cv::rectangle(canvas, result.box, result.found ? green : red, 2);
    cv::drawMarker(canvas, centre, white, cv::MARKER_CROSS, 16, 1);
    cv::arrowedLine(canvas, centre, centre + result.offset, result.found ? green : red, 1,
                    cv::LINE_AA, 0, 0.05);
    char label[96];
    std::snprintf(label, sizeof label, "frame %d  offset (%d, %d)%s", result.frame, result.offset.x,
                  result.offset.y, result.found ? "" : "  LOST");
    cv::putText(canvas, label, {10, 24}, cv::FONT_HERSHEY_SIMPLEX, 0.6, cv::Scalar(0, 0, 0), 3,
                cv::LINE_AA);
    cv::putText(canvas, label, {10, 24}, cv::FONT_HERSHEY_SIMPLEX, 0.6, white, 1, cv::LINE_AA);
    writer_.write(canvas);
}

void Annotator::commit() {
    writer_.release();
    file_.commit();
}

} // namespace zok_track
