#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "synthetic/synthetic.hpp"

namespace wyr::zok::test {

// Smooth random feature planes: structure at several cells' scale, as features of a real
// region have, so that a correlation has one clear peak.
inline std::vector<cv::Mat> randomPlanes(int side, int count, uint64_t seed) {
    cv::RNG rng(seed);
    std::vector<cv::Mat> planes(static_cast<size_t>(count));
    for (cv::Mat& p : planes) {
        p.create(side, side, CV_32F);
        rng.fill(p, cv::RNG::NORMAL, 0.0, 1.0);
        cv::GaussianBlur(p, p, cv::Size(0, 0), 1.5, 1.5, cv::BORDER_REFLECT);
    }
    return planes;
}

// `planes` moved circularly by (dx, dy) cells: the value at (x, y) goes to (x + dx, y + dy).
inline std::vector<cv::Mat> rolled(const std::vector<cv::Mat>& planes, int dx, int dy) {
    std::vector<cv::Mat> out;
    for (const cv::Mat& p : planes) {
        cv::Mat r(p.size(), p.type());
        for (int y = 0; y < p.rows; ++y) {
            for (int x = 0; x < p.cols; ++x) {
                r.at<float>(((y + dy) % p.rows + p.rows) % p.rows,
                            ((x + dx) % p.cols + p.cols) % p.cols) = p.at<float>(y, x);
            }
        }
        out.push_back(r);
    }
    return out;
}

inline cv::Mat texture(const cv::Size& size, int type, uint64_t seed) {
    cv::RNG rng(seed);
    return synthetic::makeTexture(size, type, rng);
}

// `target` pasted into a copy of `background` with its centre at `centre` (continuous
// coordinates), resized by `scale`.
inline cv::Mat compose(const cv::Mat& background, const cv::Mat& target, const cv::Point2d& centre,
                       double scale = 1.0) {
    cv::Mat frame = background.clone();
    cv::Mat resized;
    cv::resize(target, resized, cv::Size(), scale, scale, cv::INTER_AREA);
    const cv::Rect where(int(std::lround(centre.x - resized.cols / 2.0)),
                         int(std::lround(centre.y - resized.rows / 2.0)), resized.cols,
                         resized.rows);
    const cv::Rect inside = where & cv::Rect(0, 0, frame.cols, frame.rows);
    resized(inside - where.tl()).copyTo(frame(inside));
    return frame;
}

} // namespace wyr::zok::test
