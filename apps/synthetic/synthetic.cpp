#include "synthetic/synthetic.hpp"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace wyr::zok::synthetic {

cv::Mat makeTexture(const cv::Size& size, int type, cv::RNG& rng) {
    cv::Mat noise(size, CV_32FC(CV_MAT_CN(type)));
    rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
    // A light blur gives features a few pixels across: sharp correlation peaks, but no aliasing
    // when the target is resampled at sub-pixel positions.
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), 1.2);
    cv::Mat texture;
    cv::normalize(noise.reshape(1), noise.reshape(1), 0, 255, cv::NORM_MINMAX);
    noise.convertTo(texture, type);
    return texture;
}

Scene::Scene(const SceneOptions& options) : options_(options) {
    cv::RNG rng(options.seed);
    background_ = makeTexture(options.frameSize, options.type, rng);
    target_ = makeTexture(options.targetSize, options.type, rng);
    for (const cv::Rect& flat : options.flatRegions) {
        background_(flat & cv::Rect(cv::Point(), options.frameSize)).setTo(cv::Scalar::all(128));
    }
    target_.convertTo(targetValues_, CV_32F);
    targetCoverage_ = cv::Mat(target_.size(), CV_32FC(target_.channels()), cv::Scalar::all(1.0));
}

cv::Mat Scene::render(const cv::Point2d& topLeft, bool targetVisible) const {
    cv::Mat frame = background_.clone();
    if (!targetVisible) {
        return frame;
    }
    // Resample the target and its coverage into a small canvas around it, then blend: at whole
    // pixel positions the coverage is exactly 1 inside and 0 outside, so the target is copied
    // unchanged; at fractional ones its edge pixels mix with the background.
    const cv::Rect canvas = cv::Rect(int(std::floor(topLeft.x)) - 1, int(std::floor(topLeft.y)) - 1,
                                     target_.cols + 3, target_.rows + 3) &
                            cv::Rect(cv::Point(), frame.size());
    if (canvas.empty()) {
        return frame;
    }
    const cv::Matx23d shift(1, 0, topLeft.x - canvas.x, 0, 1, topLeft.y - canvas.y);
    cv::Mat warped;
    cv::Mat coverage;
    cv::warpAffine(targetValues_, warped, shift, canvas.size(), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT);
    cv::warpAffine(targetCoverage_, coverage, shift, canvas.size(), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT);
    cv::Mat ground;
    frame(canvas).convertTo(ground, CV_32F);
    cv::Mat blended = ground.mul(cv::Scalar::all(1.0) - coverage) + warped;
    blended.convertTo(frame(canvas), frame.type());
    return frame;
}

std::vector<cv::Point> randomWalk(const SceneOptions& options, const cv::Point& start, int frames,
                                  int maxStep, uint64_t seed) {
    cv::RNG rng(seed);
    std::vector<cv::Point> path{start};
    cv::Point direction(1, 1);
    const cv::Point last(options.frameSize.width - options.targetSize.width,
                         options.frameSize.height - options.targetSize.height);
    while (int(path.size()) < frames) {
        cv::Point next = path.back();
        int* coordinates[] = {&next.x, &next.y};
        int* directions[] = {&direction.x, &direction.y};
        const int limits[] = {last.x, last.y};
        for (int axis = 0; axis < 2; ++axis) {
            const int step = rng.uniform(1, maxStep + 1);
            int& value = *coordinates[axis];
            int& sign = *directions[axis];
            if (value + sign * step < 0 || value + sign * step > limits[axis]) {
                sign = -sign;
            }
            value += sign * step;
        }
        path.push_back(next);
    }
    return path;
}

} // namespace wyr::zok::synthetic
