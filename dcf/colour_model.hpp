#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace wyr::zok {

// Colour histograms of a target and of its surroundings, and from them the probability that a
// pixel of a given colour belongs to the target.
//
// Colours are binned 32 to a channel: a joint histogram of 32^3 bins for BGR, 32 bins for
// grey. 8-bit values v fall in bin v / 8; float values are taken on the same 0..255 scale,
// bin floor(v / 8) clamped to 0..31 (NaN to bin 0).
//
// The foreground is the target box shrunk on every side by `foregroundInset` times the mean
// of its width and height (truncated to whole pixels, and never below one pixel across), so
// that the background showing at the box's edges stays out of it; the background is the patch
// outside the whole target box. Pixels between the two count for neither. Each histogram is
// normalised by its pixel count, so the two weigh alike whatever their areas.
class ColourModel {
public:
    static constexpr int kBinsPerChannel = 32;

    // foregroundInset is clamped to [0, 0.5]; NaN counts as 0. The default, 0.1, takes a
    // tenth of the target's mean side off each edge.
    explicit ColourModel(float foregroundInset = 0.1f);

    // Learns the histograms of `patch` (CV_8UC1, CV_8UC3 BGR, CV_32FC1 or CV_32FC3) with
    // `target` in the patch's coordinates (clipped to it): each histogram becomes
    // (1 - rate) * old + rate * new, and the first learn() replaces both whatever the rate.
    // Raises cv::Exception, with the model unchanged, on an empty patch (StsBadArg), another
    // type (StsUnsupportedFormat), a rate outside [0, 1] or NaN (StsOutOfRange), an empty target
    // box or a foreground with no pixel in the patch (StsBadArg), or a channel count other than the
    // model's when rate < 1 (StsUnmatchedFormats). With no background pixel, the background
    // histogram learns an empty one.
    void learn(const cv::Mat& patch, const cv::Rect& target, float rate);

    // Per pixel of `patch`, P(object | colour) = fg / (fg + bg) of its bin, and 0.5 where both
    // are empty; so 0.5 everywhere before the first learn(). `out` becomes CV_32FC1 of the
    // patch's size, written in place when it already is (no allocation). Raises cv::Exception
    // on an empty patch (StsBadArg), another type (StsUnsupportedFormat) or a channel count
    // other than the learned model's (StsUnmatchedFormats).
    void likelihood(const cv::Mat& patch, cv::Mat& out) const;

    // Whether learn() has not yet succeeded.
    bool empty() const { return channels_ == 0; }

private:
    void countPixels(const cv::Mat& patch, const cv::Rect& target, const cv::Rect& foreground);
    void updateTable();

    float inset_;
    int channels_ = 0; // of the learned model; 0 before the first learn()
    std::vector<float> foreground_, background_, table_;
    std::vector<int> foregroundCount_, backgroundCount_;
    // The bins of one row of pixels: scratch, so that likelihood() allocates nothing after its
    // first call of a width (a model is used by one thread at a time).
    mutable std::vector<int> rowBins_;
};

// The mean of `likelihood` (CV_32FC1) over the window of `target` size centred at each pixel,
// into `response` (CV_32FC1 of the same size, written in place when it already is; it may be
// `likelihood` itself, or share its pixels, and is then reallocated). A window's centre is its
// middle pixel, the right (lower) one of the two middle pixels for an even side, as for boxes
// elsewhere; windows reaching past the map's edge average the part inside it. Sums are kept in
// double precision. No heap allocation for maps up to 1024 pixels wide, apart from that
// reallocation. Raises cv::Exception on an empty map (StsBadArg), another type
// (StsUnsupportedFormat) or a target side below 1 (StsBadSize).
void colourResponse(const cv::Mat& likelihood, cv::Size target, cv::Mat& response);

} // namespace wyr::zok
