#include "track_drawing.hpp"

#include <opencv2/imgproc.hpp>

#include "geometry/geometry.hpp"
#include "tracker/tracker_corr_impl.hpp"

namespace zok_track {

namespace {

// A grey frame gets the colour's luma (BT.601 weights), so that lines stay distinguishable.
cv::Scalar colourFor(const cv::Mat& canvas, const cv::Scalar& bgr) {
    if (canvas.channels() != 1) {
        return bgr;
    }
    return cv::Scalar(0.114 * bgr[0] + 0.587 * bgr[1] + 0.299 * bgr[2]);
}

} // namespace

void drawTrack(cv::Mat& canvas, const TrackDrawing& drawing) {
    const cv::Scalar yellow = colourFor(canvas, {0, 220, 255});
    const cv::Scalar green = colourFor(canvas, {0, 220, 0});
    const cv::Scalar red = colourFor(canvas, {0, 0, 255});
    const cv::Scalar white = colourFor(canvas, {255, 255, 255});
    const cv::Scalar black = colourFor(canvas, {0, 0, 0});
    const cv::Point centre =
        wyr::zok::imageCentre(drawing.frame.empty() ? canvas.size() : drawing.frame);
    if (!drawing.window.empty()) {
        cv::rectangle(canvas, drawing.window, yellow, 1);
    }
    cv::rectangle(canvas, drawing.box, drawing.found ? green : red, 2);
    cv::drawMarker(canvas, centre, white, cv::MARKER_CROSS, 16, 1);
    cv::arrowedLine(canvas, centre, centre + drawing.offset, drawing.found ? green : red, 1,
                    cv::LINE_AA, 0, 0.05);
    if (!drawing.label.empty()) {
        cv::putText(canvas, drawing.label, {10, 24}, cv::FONT_HERSHEY_SIMPLEX, 0.6, black, 3,
                    cv::LINE_AA);
        cv::putText(canvas, drawing.label, {10, 24}, cv::FONT_HERSHEY_SIMPLEX, 0.6, white, 1,
                    cv::LINE_AA);
    }
}

cv::Rect nextSearchWindow(const cv::Tracker& tracker, const cv::Size& frame) {
    const auto* impl = dynamic_cast<const wyr::zok::TrackerCorrImpl*>(&tracker);
    if (impl == nullptr) {
        return {};
    }
    cv::Size templ;
    cv::Point offset;
    if (impl->mode1D) {
        templ = {impl->historyX.oldest().templ.cols, impl->historyY.oldest().templ.rows};
        offset = {impl->historyX.oldest().offset, impl->historyY.oldest().offset};
    } else {
        templ = impl->history.oldest().templ.size();
        offset = impl->history.oldest().offset;
    }
    if (templ.empty()) {
        return {};
    }
    return wyr::zok::searchWindow(templ, impl->searchRadiusFactor,
                                  wyr::zok::imageCentre(frame) + offset, frame);
}

} // namespace zok_track
