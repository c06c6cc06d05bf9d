#include "dcf/region.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace wyr::zok {

namespace {

void sampleInto(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& regionSize,
                cv::Mat& out, cv::Mat& reduced) {
    const double fx = regionSize.width / out.cols;
    const double fy = regionSize.height / out.rows;
    const int k = int(std::min(fx, fy));
    if (k < 2) {
        // Sample pixel j's centre (j + 0.5) maps to centre + f (j + 0.5 - n / 2) in continuous
        // coordinates, whose pixel-centre coordinate is 0.5 less.
        const double m[] = {fx,  0.0, centre.x - 0.5 + fx * (0.5 - out.cols / 2.0),
                            0.0, fy,  centre.y - 0.5 + fy * (0.5 - out.rows / 2.0)};
        cv::warpAffine(frame, out, cv::Mat(2, 3, CV_64F, const_cast<double*>(m)), out.size(),
                       cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        return;
    }
    // The part of the region inside the frame, with a margin for the interpolation, cut to
    // whole multiples of k and averaged down by k; then interpolated from that, where pixel u
    // covers the frame's [x + k u, x + k (u + 1)).
    const cv::Rect frameRect(0, 0, frame.cols, frame.rows);
    const double x0 = centre.x - regionSize.width / 2.0 - k;
    const double y0 = centre.y - regionSize.height / 2.0 - k;
    cv::Rect roi(int(std::floor(std::max(x0, -1e9))), int(std::floor(std::max(y0, -1e9))), 0, 0);
    roi.width = int(std::min(2e9, std::ceil(regionSize.width + 2.0 * k + 1)));
    roi.height = int(std::min(2e9, std::ceil(regionSize.height + 2.0 * k + 1)));
    roi &= frameRect;
    roi.width -= roi.width % k;
    roi.height -= roi.height % k;
    if (roi.width < k || roi.height < k) {
        // The region lies (nearly) wholly outside: the nearest frame pixel everywhere.
        const int nx = std::clamp(int(std::floor(centre.x)), 0, frame.cols - 1);
        const int ny = std::clamp(int(std::floor(centre.y)), 0, frame.rows - 1);
        const cv::Mat pixel = frame(cv::Rect(nx, ny, 1, 1));
        cv::resize(pixel, out, out.size(), 0, 0, cv::INTER_NEAREST);
        return;
    }
    cv::resize(frame(roi), reduced, cv::Size(roi.width / k, roi.height / k), 0, 0, cv::INTER_AREA);
    const cv::Point2f inReduced((centre.x - roi.x) / k, (centre.y - roi.y) / k);
    // `reduced` is the source now, so the recursion needs another buffer only if it reduces
    // again, which a factor below twice k never does.
    cv::Mat unused;
    sampleInto(reduced, inReduced, regionSize / float(k), out, unused);
}

// Whether every value of a float matrix is finite. OpenCV's checkRange() also refuses the
// largest finite floats, so it serves only as the fast first test.
bool allFinite(const cv::Mat& m) {
    const int width = m.cols * m.channels();
    for (int y = 0; y < m.rows; ++y) {
        const float* row = m.ptr<float>(y);
        for (int x = 0; x < width; ++x) {
            if (!std::isfinite(row[x])) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

void sampleRegion(const cv::Mat& frame, const cv::Point2f& centre, const cv::Size2f& regionSize,
                  const cv::Size& outSize, cv::Mat& out, SampleScratch& scratch) {
    if (frame.channels() == 4) {
        scratch.fourChannels.create(outSize, CV_MAKETYPE(frame.depth(), 4));
        sampleInto(frame, centre, regionSize, scratch.fourChannels, scratch.reduced);
        out.create(outSize, CV_MAKETYPE(frame.depth(), 3));
        cv::cvtColor(scratch.fourChannels, out, cv::COLOR_BGRA2BGR);
        return;
    }
    out.create(outSize, frame.type());
    sampleInto(frame, centre, regionSize, out, scratch.reduced);
}

bool sampleFiniteRegion(const cv::Mat& frame, const cv::Point2f& centre,
                        const cv::Size2f& regionSize, const cv::Size& outSize, cv::Mat& out,
                        SampleScratch& scratch) {
    sampleRegion(frame, centre, regionSize, outSize, out, scratch);
    if (out.depth() != CV_32F) {
        return true;
    }
    if (!cv::checkRange(out, true)) {
        // Either the pixels read hold NaN or infinite values, or finite ones so large that the
        // resampling overflowed (or the largest floats, which checkRange() refuses): read the part
        // of the frame the resampling reads (the region with a margin wider than its interpolation
        // and averaging reach), and if it is finite, resample it with its values saturated.
        const int margin = int(std::ceil(std::max(regionSize.width / outSize.width,
                                                  regionSize.height / outSize.height))) +
                           2;
        const double x0 = std::floor(centre.x - regionSize.width / 2.0) - margin;
        const double y0 = std::floor(centre.y - regionSize.height / 2.0) - margin;
        const double x1 = std::ceil(centre.x + regionSize.width / 2.0) + margin;
        const double y1 = std::ceil(centre.y + regionSize.height / 2.0) + margin;
        // The nearest frame pixels to a region wholly outside, as the resampling repeats them.
        const int left = int(std::clamp(x0, 0.0, double(frame.cols - 1)));
        const int top = int(std::clamp(y0, 0.0, double(frame.rows - 1)));
        const int right = int(std::clamp(x1, double(left + 1), double(frame.cols)));
        const int bottom = int(std::clamp(y1, double(top + 1), double(frame.rows)));
        const cv::Rect read(left, top, right - left, bottom - top);
        if (!allFinite(frame(read))) {
            return false;
        }
        cv::min(frame(read), FLOAT_PIXEL_LIMIT, scratch.saturated);
        cv::max(scratch.saturated, -FLOAT_PIXEL_LIMIT, scratch.saturated);
        sampleRegion(scratch.saturated, centre - cv::Point2f(read.tl()), regionSize, outSize, out,
                     scratch);
    }
    cv::min(out, FLOAT_PIXEL_LIMIT, out);
    cv::max(out, -FLOAT_PIXEL_LIMIT, out);
    return true;
}

void toGrey(const cv::Mat& image, cv::Mat& grey) {
    if (image.channels() == 3) {
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    } else if (image.channels() == 4) {
        cv::cvtColor(image, grey, cv::COLOR_BGRA2GRAY);
    } else {
        grey = image;
    }
}

} // namespace wyr::zok
