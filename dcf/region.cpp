#include "dcf/region.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

namespace {

// Fills the rows and columns of `out` outside `inner` with the nearest pixel of `inner`.
void replicateBorder(cv::Mat& out, const cv::Rect& inner) {
    const size_t pixel = out.elemSize();
    for (int y = inner.y; y < inner.y + inner.height; ++y) {
        uchar* row = out.ptr(y);
        for (int x = 0; x < inner.x; ++x) {
            std::copy_n(row + inner.x * pixel, pixel, row + x * pixel);
        }
        const int last = inner.x + inner.width - 1;
        for (int x = last + 1; x < out.cols; ++x) {
            std::copy_n(row + last * pixel, pixel, row + x * pixel);
        }
    }
    for (int y = 0; y < inner.y; ++y) {
        out.row(inner.y).copyTo(out.row(y));
    }
    for (int y = inner.y + inner.height; y < out.rows; ++y) {
        out.row(inner.y + inner.height - 1).copyTo(out.row(y));
    }
}

void sampleInto(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& regionSize,
                cv::Mat& out) {
    const double fx = regionSize.width / out.cols;
    const double fy = regionSize.height / out.rows;
    if (fx <= 2.0 && fy <= 2.0) {
        // Sample pixel j's centre (j + 0.5) maps to centre + f (j + 0.5 - n / 2) in continuous
        // coordinates, whose pixel-centre coordinate is 0.5 less.
        const double m[] = {fx,  0.0, centre.x - 0.5 + fx * (0.5 - out.cols / 2.0),
                            0.0, fy,  centre.y - 0.5 + fy * (0.5 - out.rows / 2.0)};
        cv::warpAffine(frame, out, cv::Mat(2, 3, CV_64F, const_cast<double*>(m)), out.size(),
                       cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        return;
    }
    // Averaging down: the part of the region inside the frame goes to its place in the sample.
    const double x0 = centre.x - regionSize.width / 2.0;
    const double y0 = centre.y - regionSize.height / 2.0;
    const cv::Rect2d region(x0, y0, regionSize.width, regionSize.height);
    const cv::Rect2d inside = region & cv::Rect2d(0, 0, frame.cols, frame.rows);
    cv::Rect src;
    if (inside.width > 0 && inside.height > 0) {
        src = cv::Rect(int(std::floor(inside.x)), int(std::floor(inside.y)), 0, 0);
        src.width = std::max(1, int(std::ceil(inside.x + inside.width)) - src.x);
        src.height = std::max(1, int(std::ceil(inside.y + inside.height)) - src.y);
        src &= cv::Rect(0, 0, frame.cols, frame.rows);
    }
    if (src.empty()) {
        // The region lies wholly outside: the nearest frame pixel everywhere.
        const int nx = std::clamp(int(centre.x), 0, frame.cols - 1);
        const int ny = std::clamp(int(centre.y), 0, frame.rows - 1);
        src = cv::Rect(nx, ny, 1, 1);
    }
    cv::Rect dst(int(std::lround((src.x - x0) / fx)), int(std::lround((src.y - y0) / fy)),
                 std::max(1, int(std::lround(src.width / fx))),
                 std::max(1, int(std::lround(src.height / fy))));
    dst.x = std::clamp(dst.x, 0, out.cols - 1);
    dst.y = std::clamp(dst.y, 0, out.rows - 1);
    dst.width = std::min(dst.width, out.cols - dst.x);
    dst.height = std::min(dst.height, out.rows - dst.y);
    cv::Mat view = out(dst);
    cv::resize(frame(src), view, dst.size(), 0, 0, cv::INTER_AREA);
    replicateBorder(out, dst);
}

} // namespace

void sampleRegion(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& regionSize,
                  const cv::Size& outSize, cv::Mat& out, cv::Mat& scratch) {
    if (frame.channels() == 4) {
        scratch.create(outSize, CV_MAKETYPE(frame.depth(), 4));
        sampleInto(frame, centre, regionSize, scratch);
        out.create(outSize, CV_MAKETYPE(frame.depth(), 3));
        cv::cvtColor(scratch, out, cv::COLOR_BGRA2BGR);
        return;
    }
    out.create(outSize, frame.type());
    sampleInto(frame, centre, regionSize, out);
}

bool hasNonFinite(const cv::Mat& sample) {
    return sample.depth() == CV_32F && !cv::checkRange(sample, true);
}

} // namespace wyr::zok
